#pragma once
// An IPv4 or IPv6 socket address with its numeric text form.

#include <sys/socket.h>

#include <cstdint>
#include <string>

namespace orvex::inet {

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;

  int family() const { return storage.ss_family; }
  bool is_ipv6() const { return storage.ss_family == AF_INET6; }
  std::uint16_t port() const;
  void set_port(std::uint16_t port);
  // "127.0.0.1" or "::1", without port or brackets.
  std::string Numeric() const;
};

}  // namespace orvex::inet
