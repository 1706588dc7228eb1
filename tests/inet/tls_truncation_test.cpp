// A download whose encrypted data connection ends without a TLS shutdown is a
// truncated transfer, whatever the server replies afterwards. No real server
// cuts a transfer on demand, so a small implicit-TLS FTP server on OpenSSL
// plays that part here: it sends the file, ends the data connection with or
// without close_notify, and then claims success with 226 either way.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/inet/wininet_security.h"
#include "tests/inet/client_fixture.h"
#include "tests/support/test_certificates.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::Certificates;

int ListenOnLoopback(std::uint16_t& port) {
  const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(descriptor, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(descriptor, 4) != 0) {
    close(descriptor);
    return -1;
  }
  getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return descriptor;
}

// Accepts one connection within ten seconds; every later read or write on it
// waits ten seconds at most.
int AcceptBounded(int listener) {
  pollfd entry{listener, POLLIN, 0};
  if (poll(&entry, 1, 10'000) != 1) return -1;
  const int descriptor = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  const timeval limit{10, 0};
  setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return descriptor;
}

class CuttingServer {
 public:
  CuttingServer(std::string content, bool clean_shutdown)
      : content_(std::move(content)), clean_shutdown_(clean_shutdown) {
    context_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(context_, Certificates().server.certificate.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(context_, Certificates().server.key.c_str(), SSL_FILETYPE_PEM);
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~CuttingServer() {
    thread_.join();
    close(listener_);
    SSL_CTX_free(context_);
  }

  std::uint16_t port() const { return port_; }

 private:
  static bool ReadLine(SSL* ssl, std::string& line) {
    line.clear();
    char character = 0;
    while (line.size() < 1024) {
      if (SSL_read(ssl, &character, 1) != 1) return false;
      if (character == '\n') return true;
      if (character != '\r') line.push_back(character);
    }
    return false;
  }
  static void Reply(SSL* ssl, const std::string& text) {
    const std::string line = text + "\r\n";
    SSL_write(ssl, line.data(), static_cast<int>(line.size()));
  }

  void SendFile(SSL* control, int data_listener) {
    Reply(control, "150 Here it comes");
    const int descriptor = AcceptBounded(data_listener);
    if (descriptor < 0) return;
    SSL* data = SSL_new(context_);
    SSL_set_fd(data, descriptor);
    if (SSL_accept(data) == 1) {
      SSL_write(data, content_.data(), static_cast<int>(content_.size()));
      if (clean_shutdown_) SSL_shutdown(data);
    }
    SSL_free(data);  // without SSL_shutdown no close_notify goes out
    close(descriptor);
    Reply(control, "226 Transfer complete");  // claimed either way
  }

  void Serve() {
    const int descriptor = AcceptBounded(listener_);
    if (descriptor < 0) return;
    SSL* control = SSL_new(context_);
    SSL_set_fd(control, descriptor);
    int data_listener = -1;
    if (SSL_accept(control) == 1) {
      Reply(control, "220 Cutting server ready");
      std::string line;
      while (ReadLine(control, line)) {
        const std::string verb = line.substr(0, line.find(' '));
        if (verb == "USER") Reply(control, "331 Password please");
        else if (verb == "PASS") Reply(control, "230 Logged in");
        else if (verb == "PBSZ" || verb == "PROT" || verb == "TYPE" || verb == "NOOP") Reply(control, "200 OK");
        else if (verb == "ABOR") Reply(control, "225 No transfer to abort");
        else if (verb == "CWD") Reply(control, "250 OK");
        else if (verb == "EPSV") {
          std::uint16_t port = 0;
          if (data_listener >= 0) close(data_listener);
          data_listener = ListenOnLoopback(port);
          Reply(control, "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
        } else if (verb == "RETR") {
          SendFile(control, data_listener);
        } else if (verb == "QUIT") {
          Reply(control, "221 Bye");
          break;
        } else {
          Reply(control, "502 Not here");
        }
      }
    }
    if (data_listener >= 0) close(data_listener);
    SSL_free(control);
    close(descriptor);
  }

  std::string content_;
  bool clean_shutdown_;
  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

TEST(TlsTruncation, ADownloadWithoutTlsShutdownFailsDespiteTheServersSuccessReply) {
  const std::string content = RandomBytes(512 * 1024 + 9, 3);
  for (const bool clean : {true, false}) {
    SCOPED_TRACE(clean ? "with close_notify" : "cut without close_notify");
    CuttingServer server(content, clean);
    HINTERNET session = InternetOpenA("OrvexFTP tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    INTERNET_SECURITY_OPTIONS security;
    security.encryption = FTP_ENCRYPTION_IMPLICIT;
    security.ca_file = Certificates().ca.certificate.string();
    ASSERT_TRUE(InternetSetSecurityOptionsA(session, security));
    const HINTERNET connection = InternetConnectA(session, "127.0.0.1", server.port(), "user", "password",
                                                  INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    ASSERT_NE(connection, 0u) << GetLastError();
    std::string received;
    const bool downloaded = Download(connection, "/file.bin", FTP_TRANSFER_TYPE_BINARY, received);
    const DWORD error = GetLastError();
    if (clean) {
      EXPECT_TRUE(downloaded) << error;
      EXPECT_TRUE(received == content);
    } else {
      EXPECT_FALSE(downloaded);
      EXPECT_EQ(error, ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
    }
    InternetCloseHandle(session);
  }
}

}  // namespace
}  // namespace orvex::wininet::testing
