#include "platform/inet/proxy.h"

#include <arpa/inet.h>

#include <array>
#include <charconv>
#include <cstring>

#include "platform/inet/host_port.h"

namespace orvex::inet {
namespace {

using Clock = std::chrono::steady_clock;
using win32::ERROR_INTERNET_CANNOT_CONNECT;
using win32::ERROR_INTERNET_INVALID_PROXY_REQUEST;
using win32::ERROR_INTERNET_TIMEOUT;

std::chrono::milliseconds Left(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - Clock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// Reads exactly `size` bytes; a close in between is a broken proxy.
Status ReadExactly(TcpStream& stream, void* buffer, std::size_t size,
                   Clock::time_point deadline) {
  auto* next = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ReadResult result = stream.ReadSome(next, size, Left(deadline));
    if (!result.status.ok()) return result.status;
    if (result.bytes == 0) return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
    next += result.bytes;
    size -= result.bytes;
  }
  return Status::Ok();
}

Status HttpConnect(TcpStream& stream, const std::string& host,
                   std::uint16_t port, Clock::time_point deadline) {
  const std::string authority =
      (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
      std::to_string(port);
  const std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " +
                              authority + "\r\n\r\n";
  Status status = stream.WriteAll(request.data(), request.size(), Left(deadline));
  if (!status.ok()) return status;
  // Read the response head byte by byte so that nothing of the tunnelled
  // server's greeting is consumed here. The head is bounded.
  std::string head;
  constexpr std::size_t kMaximumHead = 16 * 1024;
  while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
    if (head.size() >= kMaximumHead) {
      return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
    }
    char byte = 0;
    status = ReadExactly(stream, &byte, 1, deadline);
    if (!status.ok()) return status;
    head.push_back(byte);
  }
  // "HTTP/1.x 200 ..."
  if (head.compare(0, 5, "HTTP/") != 0) {
    return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
  }
  const std::size_t space = head.find(' ');
  if (space == std::string::npos || head.compare(space + 1, 1, "2") != 0) {
    return Status(ERROR_INTERNET_CANNOT_CONNECT);
  }
  return Status::Ok();
}

Status Socks5Connect(TcpStream& stream, const std::string& host,
                     std::uint16_t port, Clock::time_point deadline) {
  const unsigned char greeting[] = {5, 1, 0};  // version 5, "no authentication"
  Status status = stream.WriteAll(greeting, sizeof greeting, Left(deadline));
  if (!status.ok()) return status;
  unsigned char choice[2] = {};
  status = ReadExactly(stream, choice, sizeof choice, deadline);
  if (!status.ok()) return status;
  if (choice[0] != 5 || choice[1] != 0) {
    return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
  }
  // version 5, CONNECT, reserved, address type and address, port
  std::array<unsigned char, 4 + 1 + 255 + 2> request{5, 1, 0};
  std::size_t length = 3;
  const auto append = [&request, &length](const void* bytes, std::size_t size) {
    std::memcpy(request.data() + length, bytes, size);
    length += size;
  };
  in_addr ipv4{};
  in6_addr ipv6{};
  if (inet_pton(AF_INET, host.c_str(), &ipv4) == 1) {
    request[length++] = 1;
    append(&ipv4, 4);
  } else if (inet_pton(AF_INET6, host.c_str(), &ipv6) == 1) {
    request[length++] = 4;
    append(&ipv6, 16);
  } else {
    if (host.empty() || host.size() > 255) {
      return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
    }
    request[length++] = 3;
    request[length++] = static_cast<unsigned char>(host.size());
    append(host.data(), host.size());
  }
  request[length++] = static_cast<unsigned char>(port >> 8);
  request[length++] = static_cast<unsigned char>(port & 0xff);
  status = stream.WriteAll(request.data(), length, Left(deadline));
  if (!status.ok()) return status;
  unsigned char reply[4] = {};
  status = ReadExactly(stream, reply, sizeof reply, deadline);
  if (!status.ok()) return status;
  if (reply[0] != 5) return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
  if (reply[1] != 0) return Status(ERROR_INTERNET_CANNOT_CONNECT);
  std::size_t address_length = 0;
  if (reply[3] == 1) {
    address_length = 4;
  } else if (reply[3] == 4) {
    address_length = 16;
  } else if (reply[3] == 3) {
    unsigned char name_length = 0;
    status = ReadExactly(stream, &name_length, 1, deadline);
    if (!status.ok()) return status;
    address_length = name_length;
  } else {
    return Status(ERROR_INTERNET_INVALID_PROXY_REQUEST);
  }
  std::array<unsigned char, 258> bound{};
  return ReadExactly(stream, bound.data(), address_length + 2, deadline);
}

}  // namespace

std::optional<ProxySettings> ParseProxy(std::string_view text) {
  // First entry of a list.
  const std::size_t start = text.find_first_not_of(" ;");
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  text = text.substr(0, text.find_first_of(" ;"));

  ProxySettings proxy;
  for (const auto& [prefix, kind] :
       {std::pair<std::string_view, ProxySettings::Kind>{
            "socks5://", ProxySettings::Kind::Socks5},
        {"socks=", ProxySettings::Kind::Socks5},
        {"http://", ProxySettings::Kind::HttpConnect},
        {"ftp=", ProxySettings::Kind::HttpConnect}}) {
    if (text.substr(0, prefix.size()) == prefix) {
      proxy.kind = kind;
      text.remove_prefix(prefix.size());
      break;
    }
  }
  if (proxy.kind == ProxySettings::Kind::HttpConnect &&
      text.substr(0, 7) == "http://") {
    text.remove_prefix(7);  // "ftp=http://host:port"
  }
  if (!text.empty() && text.back() == '/') text.remove_suffix(1);
  const std::optional<HostPort> host_port = SplitHostPort(text);
  if (!host_port || host_port->host.empty()) return std::nullopt;
  proxy.host = host_port->host;
  proxy.port = host_port->port != 0 ? host_port->port
               : proxy.kind == ProxySettings::Kind::Socks5 ? kDefaultSocksPort
                                                           : kDefaultHttpPort;
  return proxy;
}

ConnectResult ConnectThroughProxy(const ProxySettings& proxy,
                                  const std::string& host, std::uint16_t port,
                                  std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  ConnectResult result = ConnectTcp(proxy.host, proxy.port, timeout);
  if (!result.status.ok()) return result;
  const Status status =
      proxy.kind == ProxySettings::Kind::Socks5
          ? Socks5Connect(*result.stream, host, port, deadline)
          : HttpConnect(*result.stream, host, port, deadline);
  if (!status.ok()) return {status, nullptr};
  return result;
}

}  // namespace orvex::inet
