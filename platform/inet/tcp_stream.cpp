#include "platform/inet/tcp_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/inet/cancellation.h"
#include "platform/inet/name_lookup.h"

namespace orvex::inet {
namespace {

using Clock = std::chrono::steady_clock;
using win32::ERROR_INTERNET_CANNOT_CONNECT;
using win32::ERROR_INTERNET_CONNECTION_ABORTED;
using win32::ERROR_INTERNET_CONNECTION_RESET;
using win32::ERROR_INTERNET_NAME_NOT_RESOLVED;
using win32::ERROR_INTERNET_TIMEOUT;

// Waits for `events` on the descriptor: ok when they came, otherwise the
// time limit or the cancellation that ended the wait.
Status WaitFor(int descriptor, short events, Clock::time_point deadline) {
  switch (WaitForEvents(descriptor, events, deadline)) {
    case WaitResult::Ready: return Status::Ok();
    case WaitResult::TimedOut: return Status(ERROR_INTERNET_TIMEOUT);
    case WaitResult::Cancelled: break;
  }
  return Status(win32::ERROR_INTERNET_OPERATION_CANCELLED);
}

Status StatusFromErrno(int error) {
  if (error == ECONNRESET || error == EPIPE) {
    return Status(ERROR_INTERNET_CONNECTION_RESET);
  }
  return Status(ERROR_INTERNET_CONNECTION_ABORTED);
}

void MakeNonBlocking(int descriptor) {
  fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

SocketAddress AddressOf(int descriptor, bool peer) {
  SocketAddress address;
  address.length = sizeof address.storage;
  auto* raw = reinterpret_cast<sockaddr*>(&address.storage);
  if (peer) {
    getpeername(descriptor, raw, &address.length);
  } else {
    getsockname(descriptor, raw, &address.length);
  }
  return address;
}

// One non-blocking connect attempt; fills `status` and returns the
// descriptor or -1.
int TryConnect(const sockaddr* address, socklen_t length,
               Clock::time_point deadline, Status& status) {
  const int descriptor =
      socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) {
    status = Status(ERROR_INTERNET_CANNOT_CONNECT);
    return -1;
  }
  MakeNonBlocking(descriptor);
  if (connect(descriptor, address, length) == 0) return descriptor;
  if (errno != EINPROGRESS) {
    close(descriptor);
    status = Status(ERROR_INTERNET_CANNOT_CONNECT);
    return -1;
  }
  if (const Status waited = WaitFor(descriptor, POLLOUT, deadline); !waited.ok()) {
    close(descriptor);
    status = waited;
    return -1;
  }
  int error = 0;
  socklen_t error_length = sizeof error;
  getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &error_length);
  if (error != 0) {
    close(descriptor);
    status = Status(ERROR_INTERNET_CANNOT_CONNECT);
    return -1;
  }
  return descriptor;
}

ConnectResult Connected(int descriptor) {
  const int on = 1;
  setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return {Status::Ok(), std::make_unique<TcpStream>(descriptor)};
}

}  // namespace

TcpStream::TcpStream(int descriptor) : descriptor_(descriptor) {
  MakeNonBlocking(descriptor_);
}

TcpStream::~TcpStream() { close(descriptor_); }

ReadResult TcpStream::ReadSome(void* buffer, std::size_t size,
                               std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const ssize_t count = recv(descriptor_, buffer, size, 0);
    if (count >= 0) return {Status::Ok(), static_cast<std::size_t>(count)};
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return {StatusFromErrno(errno), 0};
    }
    if (const Status waited = WaitFor(descriptor_, POLLIN, deadline); !waited.ok()) {
      return {waited, 0};
    }
  }
}

Status TcpStream::WriteAll(const void* data, std::size_t size,
                           std::chrono::milliseconds timeout) {
  const char* next = static_cast<const char*>(data);
  Clock::time_point deadline = Clock::now() + timeout;
  while (size > 0) {
    const ssize_t count = send(descriptor_, next, size, MSG_NOSIGNAL);
    if (count > 0) {
      next += count;
      size -= static_cast<std::size_t>(count);
      deadline = Clock::now() + timeout;  // the limit is on progress
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return StatusFromErrno(errno);
    }
    if (const Status waited = WaitFor(descriptor_, POLLOUT, deadline); !waited.ok()) {
      return waited;
    }
  }
  return Status::Ok();
}

void TcpStream::ShutdownWrite() { shutdown(descriptor_, SHUT_WR); }

SocketAddress TcpStream::LocalAddress() const {
  return AddressOf(descriptor_, false);
}

SocketAddress TcpStream::PeerAddress() const {
  return AddressOf(descriptor_, true);
}

ConnectResult ConnectTcp(const std::string& host, std::uint16_t port,
                         std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  AddressList found(nullptr, freeaddrinfo);
  if (const Status looked_up = LookUpHost(host, port, deadline, found); !looked_up.ok()) {
    return {looked_up, nullptr};
  }
  Status status(ERROR_INTERNET_CANNOT_CONNECT);
  int descriptor = -1;
  for (addrinfo* entry = found.get(); entry != nullptr && descriptor < 0;
       entry = entry->ai_next) {
    descriptor = TryConnect(entry->ai_addr, entry->ai_addrlen, deadline, status);
    if (status.error() == ERROR_INTERNET_TIMEOUT ||
        status.error() == win32::ERROR_INTERNET_OPERATION_CANCELLED) {
      break;
    }
  }
  if (descriptor < 0) return {status, nullptr};
  return Connected(descriptor);
}

ConnectResult ConnectTcp(const SocketAddress& address,
                         std::chrono::milliseconds timeout) {
  Status status;
  const int descriptor =
      TryConnect(reinterpret_cast<const sockaddr*>(&address.storage),
                 address.length, Clock::now() + timeout, status);
  if (descriptor < 0) return {status, nullptr};
  return Connected(descriptor);
}

TcpListener::~TcpListener() {
  if (descriptor_ >= 0) close(descriptor_);
}

Status TcpListener::Listen(const SocketAddress& address) {
  address_ = address;
  address_.set_port(0);
  descriptor_ = socket(address_.family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor_ < 0 ||
      bind(descriptor_, reinterpret_cast<const sockaddr*>(&address_.storage),
           address_.length) != 0 ||
      listen(descriptor_, 1) != 0) {
    return Status(ERROR_INTERNET_CANNOT_CONNECT);
  }
  MakeNonBlocking(descriptor_);
  address_ = AddressOf(descriptor_, false);
  return Status::Ok();
}

ConnectResult TcpListener::Accept(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const int descriptor = accept4(descriptor_, nullptr, nullptr, SOCK_CLOEXEC);
    if (descriptor >= 0) return Connected(descriptor);
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      return {Status(ERROR_INTERNET_CANNOT_CONNECT), nullptr};
    }
    if (const Status waited = WaitFor(descriptor_, POLLIN, deadline); !waited.ok()) {
      return {waited, nullptr};
    }
  }
}

}  // namespace orvex::inet
