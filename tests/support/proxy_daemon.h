#ifndef ORVEX_TESTS_SUPPORT_PROXY_DAEMON_H_
#define ORVEX_TESTS_SUPPORT_PROXY_DAEMON_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/availability.h"

namespace orvex::testing {

// Real proxy daemons from Debian for tests of connections through a proxy.
//   Socks5:      microsocks, no authentication.
//   HttpConnect: tinyproxy, CONNECT allowed to any port (loopback only).
enum class ProxyKind { Socks5, HttpConnect };

const char* ProxyKindName(ProxyKind kind);  // "microsocks", "tinyproxy"
bool ProxyAvailable(ProxyKind kind);

// One proxy daemon listening on 127.0.0.1 and a port of its own, in its own
// process group; the constructor returns once it accepts connections and
// throws std::runtime_error when it cannot start. The destructor (or Stop())
// ends it and removes its files.
class ProxyDaemon {
 public:
  explicit ProxyDaemon(ProxyKind kind);
  ~ProxyDaemon();

  ProxyDaemon(const ProxyDaemon&) = delete;
  ProxyDaemon& operator=(const ProxyDaemon&) = delete;

  ProxyKind kind() const;
  std::string name() const;
  const std::string& host() const;  // "127.0.0.1"
  std::uint16_t port() const;
  // "127.0.0.1:port"; prefix "socks=" or "socks5://" as the client expects.
  std::string address() const;

  void Stop();
  std::string Log() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvex::testing

// Skip (or, with ORVEX_REQUIRE_SERVERS=1, fail) when the proxy is missing.
#define ORVEX_REQUIRE_PROXY(kind)                                 \
  ORVEX_REQUIRE_AVAILABLE(::orvex::testing::ProxyAvailable(kind), \
                          ::orvex::testing::ProxyKindName(kind))

#endif  // ORVEX_TESTS_SUPPORT_PROXY_DAEMON_H_
