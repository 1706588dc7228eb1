#include "platform/inet/socket_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace orvex::inet {

std::uint16_t SocketAddress::port() const {
  if (is_ipv6()) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
  }
  return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

void SocketAddress::set_port(std::uint16_t port) {
  if (is_ipv6()) {
    reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
  } else {
    reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
  }
}

std::string SocketAddress::Numeric() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (is_ipv6()) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_addr,
              text, sizeof text);
  } else {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage)->sin_addr,
              text, sizeof text);
  }
  return text;
}

}  // namespace orvex::inet
