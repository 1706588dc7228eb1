#include "tests/support/socket_util.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace orvex::testing {
namespace {

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int Milliseconds(std::chrono::milliseconds duration) {
  return duration.count() < 0 ? 0 : static_cast<int>(duration.count());
}

}  // namespace

int ListenLoopback(std::uint16_t port, std::uint16_t* bound_port) {
  int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return -1;
  int yes = 1;
  ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address = LoopbackAddress(port);
  if (::bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(descriptor, 64) != 0) {
    ::close(descriptor);
    return -1;
  }
  socklen_t length = sizeof address;
  ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
  if (bound_port) *bound_port = ntohs(address.sin_port);
  return descriptor;
}

int ConnectLoopback(std::uint16_t port, std::chrono::milliseconds timeout) {
  int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (descriptor < 0) return -1;
  sockaddr_in address = LoopbackAddress(port);
  int result = ::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (result != 0 && errno == EINPROGRESS) {
    pollfd entry{descriptor, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    if (::poll(&entry, 1, Milliseconds(timeout)) == 1 &&
        ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
      result = 0;
    }
  }
  if (result != 0) {
    ::close(descriptor);
    return -1;
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  return descriptor;
}

int AcceptWithin(int listener, std::chrono::milliseconds timeout) {
  if (!WaitReadable(listener, timeout)) return -1;
  return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

bool SendAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool WaitReadable(int descriptor, std::chrono::milliseconds timeout) {
  pollfd entry{descriptor, POLLIN, 0};
  int result;
  do {
    result = ::poll(&entry, 1, Milliseconds(timeout));
  } while (result < 0 && errno == EINTR);
  return result == 1;
}

bool ReadReply(int descriptor, std::chrono::milliseconds timeout, std::string* reply) {
  constexpr size_t kLimit = 64 * 1024;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  reply->clear();
  size_t line_start = 0;
  while (reply->size() < kLimit) {
    // A reply is complete at a line "ddd text" (a space after the code).
    size_t end;
    while ((end = reply->find('\n', line_start)) != std::string::npos) {
      std::string_view line(reply->data() + line_start, end - line_start);
      if (line.size() >= 4 && line[3] == ' ' && line[0] >= '1' && line[0] <= '5') return true;
      line_start = end + 1;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !WaitReadable(descriptor, left)) return false;
    char buffer[4096];
    ssize_t received = ::recv(descriptor, buffer, sizeof buffer, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return false;
    reply->append(buffer, static_cast<size_t>(received));
  }
  return false;
}

bool PortAnswers(std::uint16_t port) {
  int descriptor = ConnectLoopback(port, std::chrono::milliseconds(500));
  if (descriptor < 0) return false;
  ::close(descriptor);
  return true;
}

}  // namespace orvex::testing
