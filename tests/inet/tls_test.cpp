// FTP over TLS against the real servers: explicit and implicit TLS, session
// reuse on data connections, certificate trust, refusals, proxies.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include "platform/inet/wininet_security.h"
#include "tests/inet/client_fixture.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/ftp_server.h"
#include "tests/support/proxy_daemon.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::Certificates;
using ::orvex::testing::FaultProxy;
using ::orvex::testing::FtpServer;
using ::orvex::testing::FtpServerOptions;
using ::orvex::testing::ProxyDaemon;
using ::orvex::testing::ProxyKind;
using ::orvex::testing::ScriptedServer;
using ::orvex::testing::ServerKind;
using ::orvex::testing::ServerTls;

// A session with TLS options and one connection.
class SecureClient {
 public:
  ~SecureClient() { Close(); }

  bool Connect(const std::string& host, INTERNET_PORT port, const std::string& user,
               const std::string& password, const INTERNET_SECURITY_OPTIONS& security,
               const std::string& proxy = "") {
    Close();
    session_ = InternetOpenA("OrvexFTP tests", proxy.empty() ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
                             proxy.empty() ? nullptr : proxy.c_str(), nullptr, 0);
    if (session_ == 0 || !InternetSetSecurityOptionsA(session_, security)) {
      error_ = GetLastError();
      return false;
    }
    connection_ = InternetConnectA(session_, host.c_str(), port, user.c_str(), password.c_str(),
                                   INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    error_ = connection_ == 0 ? GetLastError() : 0;
    report_ = {};
    InternetGetLastSecurityReportA(&report_);
    return connection_ != 0;
  }
  bool Connect(const FtpServer& server, const INTERNET_SECURITY_OPTIONS& security,
               const std::string& proxy = "") {
    return Connect(server.host(), server.port(), server.user(), server.password(), security, proxy);
  }
  void Close() {
    if (session_ != 0) InternetCloseHandle(session_);
    session_ = connection_ = 0;
  }

  HINTERNET connection() const { return connection_; }
  DWORD error() const { return error_; }
  const INTERNET_SECURITY_REPORT& report() const { return report_; }
  std::string Explain() const {
    return "error " + std::to_string(error_) + ": " + report_.text + " / " + LastResponse();
  }

 private:
  HINTERNET session_ = 0;
  HINTERNET connection_ = 0;
  DWORD error_ = 0;
  INTERNET_SECURITY_REPORT report_;
};

INTERNET_SECURITY_OPTIONS Trusting(DWORD mode) {
  INTERNET_SECURITY_OPTIONS options;
  options.encryption = mode;
  options.ca_file = Certificates().ca.certificate.string();
  return options;
}

struct ServerCase {
  ServerKind kind;
  ServerTls tls;
};

void PrintTo(const ServerCase& test, std::ostream* out) {
  *out << ::orvex::testing::ServerKindName(test.kind)
       << (test.tls == ServerTls::Implicit ? " implicit" : " explicit");
}

class TlsServers : public ::testing::TestWithParam<ServerCase> {};

// Every data connection must resume the control connection's session on
// vsftpd and proftpd: several listings and transfers on one connection prove
// that each one does, not only the first.
TEST_P(TlsServers, ListsAndRoundTripsThreeMebibytes) {
  ORVEX_REQUIRE_SERVER(GetParam().kind);
  FtpServerOptions options;
  options.tls = GetParam().tls;
  FtpServer server(GetParam().kind, options);
  server.WriteFile("docs/readme.txt", "over TLS");

  SecureClient client;
  const DWORD mode = GetParam().tls == ServerTls::Implicit ? FTP_ENCRYPTION_IMPLICIT : FTP_ENCRYPTION_EXPLICIT;
  ASSERT_TRUE(client.Connect(server, Trusting(mode))) << client.Explain() << "\n" << server.Log();
  EXPECT_EQ(ListFolder(client.connection(), "/docs"), (std::vector<Listed>{{"readme.txt", false, 8, 0, {}}}));
  const std::string upload = RandomBytes(3 * 1024 * 1024 + 7, 14);
  ASSERT_TRUE(Upload(client.connection(), "/up.bin", FTP_TRANSFER_TYPE_BINARY, upload))
      << GetLastError() << " " << LastResponse() << "\n" << server.Log();
  std::string content;
  ASSERT_TRUE(Download(client.connection(), "/up.bin", FTP_TRANSFER_TYPE_BINARY, content))
      << GetLastError() << " " << LastResponse() << "\n" << server.Log();
  EXPECT_TRUE(content == upload) << content.size();
  ASSERT_TRUE(Download(client.connection(), "/docs/readme.txt", FTP_TRANSFER_TYPE_ASCII, content));
  EXPECT_EQ(content, "over TLS");
  EXPECT_EQ(ListFolder(client.connection(), "/").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    AllServers, TlsServers,
    ::testing::Values(ServerCase{ServerKind::Pyftpdlib, ServerTls::Explicit},
                      ServerCase{ServerKind::Vsftpd, ServerTls::Explicit},
                      ServerCase{ServerKind::Vsftpd, ServerTls::Implicit},
                      ServerCase{ServerKind::PureFtpd, ServerTls::Explicit},
                      ServerCase{ServerKind::Proftpd, ServerTls::Explicit},
                      ServerCase{ServerKind::Proftpd, ServerTls::Implicit}));

// Trust decisions, one vsftpd per certificate it presents.
struct CertificateCase {
  const char* name;
  const ::orvex::testing::CertificateFiles& (*presented)();
  bool trust_test_ca;
  const ::orvex::testing::CertificateFiles* (*pinned)();  // nullptr: no pin
  bool verify;
  DWORD error;  // 0: accepted
};

void PrintTo(const CertificateCase& test, std::ostream* out) { *out << test.name; }

const ::orvex::testing::CertificateFiles& Server() { return Certificates().server; }
const ::orvex::testing::CertificateFiles& SelfSigned() { return Certificates().self_signed; }
const ::orvex::testing::CertificateFiles& SelfSignedOther() { return Certificates().self_signed_other; }
const ::orvex::testing::CertificateFiles& OtherHost() { return Certificates().other_host; }
const ::orvex::testing::CertificateFiles& Expired() { return Certificates().expired; }
const ::orvex::testing::CertificateFiles* PinSelfSigned() { return &Certificates().self_signed; }

class TlsCertificates : public ::testing::TestWithParam<CertificateCase> {};

TEST_P(TlsCertificates, AreTrustedOnlyWhenTheyVerifyOrArePinned) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  const CertificateCase& test = GetParam();
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  options.certificate = test.presented().certificate;
  options.key = test.presented().key;
  FtpServer server(ServerKind::Vsftpd, options);

  INTERNET_SECURITY_OPTIONS security;
  security.encryption = FTP_ENCRYPTION_EXPLICIT;
  if (test.trust_test_ca) security.ca_file = Certificates().ca.certificate.string();
  if (test.pinned != nullptr) security.pinned_fingerprint = test.pinned()->fingerprint;
  security.verify = test.verify;
  SecureClient client;
  const bool connected = client.Connect(server, security);
  if (test.error == 0) {
    ASSERT_TRUE(connected) << client.Explain();
    EXPECT_EQ(ListFolder(client.connection(), "/").size(), 0u);
    return;
  }
  ASSERT_FALSE(connected);
  EXPECT_EQ(client.error(), test.error) << client.Explain();
  const INTERNET_SECURITY_REPORT& report = client.report();
  EXPECT_TRUE(report.untrusted_certificate);
  EXPECT_EQ(report.fingerprint, test.presented().fingerprint);
  // The report names what a person needs to decide: fingerprint, subject,
  // reason; a changed certificate shows both fingerprints.
  EXPECT_NE(report.text.find(test.presented().fingerprint), std::string::npos) << report.text;
  EXPECT_NE(report.subject.find("CN="), std::string::npos) << report.subject;
  EXPECT_NE(report.text.find(report.subject), std::string::npos) << report.text;
  EXPECT_FALSE(report.reason.empty());
  if (test.pinned != nullptr) {
    EXPECT_NE(report.text.find(test.pinned()->fingerprint), std::string::npos) << report.text;
    EXPECT_EQ(report.pinned_fingerprint, test.pinned()->fingerprint);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsCertificates,
    ::testing::Values(
        CertificateCase{"signed_by_a_trusted_CA", Server, true, nullptr, true, 0},
        CertificateCase{"signed_by_a_CA_not_trusted", Server, false, nullptr, true, ERROR_INTERNET_INVALID_CA},
        CertificateCase{"self_signed", SelfSigned, true, nullptr, true, ERROR_INTERNET_INVALID_CA},
        CertificateCase{"self_signed_and_pinned", SelfSigned, false, PinSelfSigned, true, 0},
        CertificateCase{"pinned_one_replaced", SelfSignedOther, true, PinSelfSigned, true, ERROR_INTERNET_SEC_CERT_ERRORS},
        CertificateCase{"another_hosts", OtherHost, true, nullptr, true, ERROR_INTERNET_SEC_CERT_CN_INVALID},
        CertificateCase{"expired", Expired, true, nullptr, true, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
        CertificateCase{"self_signed_without_verification", SelfSigned, false, nullptr, false, 0}),
    [](const ::testing::TestParamInfo<CertificateCase>& test) { return std::string(test.param.name); });

// Encryption required and the server will not: the connection fails before
// any login is sent, never falling back to clear text.
struct RefusalCase {
  const char* name;
  const char* auth_reply;        // nullptr: the server's default (502)
  const char* clear_text_after;  // sent right after the reply, in clear text
};

void PrintTo(const RefusalCase& test, std::ostream* out) { *out << test.name; }

class TlsRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TlsRefusals, NeverSendTheLoginInClearText) {
  ScriptedServer server;
  const RefusalCase test = GetParam();
  if (test.auth_reply != nullptr) {
    server.On("AUTH", [test](ScriptedServer::Session& session, const ScriptedServer::Command&) {
      session.Reply(test.auth_reply);
      if (test.clear_text_after != nullptr) session.Reply(test.clear_text_after);
    });
  }
  SetTimeouts(std::chrono::seconds(5), std::chrono::seconds(5), std::chrono::seconds(5));
  SecureClient client;
  ASSERT_FALSE(client.Connect(server.host(), server.port(), "user", "secret", Trusting(FTP_ENCRYPTION_EXPLICIT)));
  EXPECT_TRUE(IsSecurityError(client.error())) << client.Explain();
  EXPECT_FALSE(client.report().text.empty());
  EXPECT_FALSE(client.report().untrusted_certificate);
  for (const std::string& line : server.Commands()) {
    EXPECT_EQ(line.find("USER"), std::string::npos) << line;
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsRefusals,
    ::testing::Values(RefusalCase{"no_AUTH_TLS", nullptr, nullptr},
                      RefusalCase{"AUTH_TLS_refused", "534 TLS not available", nullptr},
                      RefusalCase{"AUTH_TLS_unavailable_for_now", "431 Try again later", nullptr},
                      RefusalCase{"AUTH_taken_for_another_mechanism", "334 ADAT=challenge", nullptr},
                      RefusalCase{"234_then_clear_text_at_once", "234 Proceed", "220 hello in clear"},
                      RefusalCase{"234_then_no_handshake", "234 Proceed", nullptr}),
    [](const ::testing::TestParamInfo<RefusalCase>& test) { return std::string(test.param.name); });

// A CA file that is no file of certificates fails before anything is sent,
// saying which file; a FIFO is never opened (that would wait for a writer
// for ever).
TEST(TlsCaFile, ThatIsNotARegularFileOfCertificatesFailsAtOnceNamingIt) {
  ::orvex::testing::TempDir folder;
  const std::filesystem::path fifo = folder.path() / "ca.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::filesystem::path junk = folder.path() / "junk.pem";
  std::ofstream(junk) << "not a certificate\n";
  for (const std::filesystem::path& file : {fifo, folder.path(), junk}) {
    ScriptedServer server;
    INTERNET_SECURITY_OPTIONS security;
    security.encryption = FTP_ENCRYPTION_IMPLICIT;
    security.ca_file = file.string();
    SecureClient client;
    EXPECT_FALSE(client.Connect(server.host(), server.port(), "user", "secret", security)) << file;
    EXPECT_TRUE(IsSecurityError(client.error())) << file << ": " << client.Explain();
    EXPECT_NE(client.report().text.find(file.string()), std::string::npos) << client.report().text;
    EXPECT_TRUE(server.Commands().empty()) << file;
  }
}

// Control and data connections through real proxies, TLS end to end.
class TlsThroughProxy : public ::testing::TestWithParam<ProxyKind> {};

TEST_P(TlsThroughProxy, RoundTripsAFile) {
  ORVEX_REQUIRE_PROXY(GetParam());
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  ProxyDaemon proxy(GetParam());
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  FtpServer server(ServerKind::Vsftpd, options);
  SecureClient client;
  const std::string prefix = GetParam() == ProxyKind::Socks5 ? "socks5://" : "";
  ASSERT_TRUE(client.Connect(server, Trusting(FTP_ENCRYPTION_EXPLICIT), prefix + proxy.address()))
      << client.Explain() << "\n" << proxy.Log();
  const std::string upload = RandomBytes(1024 * 1024 + 3, 7);
  ASSERT_TRUE(Upload(client.connection(), "/up.bin", FTP_TRANSFER_TYPE_BINARY, upload)) << LastResponse();
  std::string content;
  ASSERT_TRUE(Download(client.connection(), "/up.bin", FTP_TRANSFER_TYPE_BINARY, content)) << LastResponse();
  EXPECT_TRUE(content == upload);
}

INSTANTIATE_TEST_SUITE_P(BothKinds, TlsThroughProxy,
                         ::testing::Values(ProxyKind::Socks5, ProxyKind::HttpConnect));

// A server gone silent behind TLS: a cancellation reaches through the
// encrypted stream as through a plain one, long before the time limit.
TEST(TlsCancellation, AWaitBehindTlsEndsAtOnce) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  FtpServer server(ServerKind::Vsftpd, options);
  FaultProxy silence(server.host(), server.port());
  SetTimeouts(std::chrono::seconds(120), std::chrono::seconds(120), std::chrono::seconds(120));
  int wake_up[2];
  ASSERT_EQ(::pipe2(wake_up, O_CLOEXEC | O_NONBLOCK), 0);
  ASSERT_TRUE(InternetSetCancelDescriptor(wake_up[0], 1000));

  SecureClient client;
  const bool connected = client.Connect(silence.host(), silence.port(), server.user(), server.password(),
                                        Trusting(FTP_ENCRYPTION_EXPLICIT));
  EXPECT_TRUE(connected) << client.Explain();
  if (connected) {
    silence.Stall();
    std::thread canceller([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      [[maybe_unused]] const ssize_t written = ::write(wake_up[1], "!", 1);
    });
    const auto start = std::chrono::steady_clock::now();
    char path[256];
    DWORD length = sizeof path;
    EXPECT_FALSE(FtpGetCurrentDirectoryA(client.connection(), path, &length));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    canceller.join();
  }
  InternetSetCancelDescriptor(-1, 0);
  ::close(wake_up[0]);
  ::close(wake_up[1]);
  SetTimeouts(std::chrono::seconds(30), std::chrono::seconds(60), std::chrono::seconds(60));
}

}  // namespace
}  // namespace orvex::wininet::testing
