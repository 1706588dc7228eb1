#pragma once
// Proxies that carry both the control and the data connections: an HTTP
// proxy's CONNECT tunnel or a SOCKS5 proxy (no authentication). The server's
// host name is handed to the proxy unresolved, so the proxy resolves it.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/tcp_stream.h"

namespace orvex::inet {

struct ProxySettings {
  enum class Kind { HttpConnect, Socks5 };
  Kind kind = Kind::HttpConnect;
  std::string host;
  std::uint16_t port = 0;
};

// The ports a proxy named without one is reached on: the http scheme's port
// for an HTTP proxy, the SOCKS port for a SOCKS proxy.
inline constexpr std::uint16_t kDefaultHttpPort = 80;
inline constexpr std::uint16_t kDefaultSocksPort = 1080;

// Accepted forms: "host[:port]" and "http://host[:port]" (HTTP CONNECT),
// "socks=host[:port]" and "socks5://host[:port]" (SOCKS5); IPv6 hosts in
// brackets. Without a port the kind's default port above applies. A list of
// several proxies uses the first entry (separators space or ';'). nullopt
// for text that names no usable proxy (no host, a port that is not 1 to
// 65535).
std::optional<ProxySettings> ParseProxy(std::string_view text);

// Connects to the proxy and asks it for a tunnel to host:port; the whole
// exchange is bounded by `timeout`. A proxy that refuses the tunnel gives
// ERROR_INTERNET_CANNOT_CONNECT; one that answers nonsense
// ERROR_INTERNET_INVALID_PROXY_REQUEST.
ConnectResult ConnectThroughProxy(const ProxySettings& proxy,
                                  const std::string& host, std::uint16_t port,
                                  std::chrono::milliseconds timeout);

}  // namespace orvex::inet
