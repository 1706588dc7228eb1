// The environment of every real session: POSIX sockets, proxies, the system
// clocks.

#include <ctime>

#include "platform/inet/network_environment.h"
#include "platform/inet/proxy.h"
#include "platform/inet/tcp_stream.h"

namespace orvex::inet {
namespace {

class SystemClocks : public EngineClock {
 public:
  std::chrono::steady_clock::time_point Now() const override {
    return std::chrono::steady_clock::now();
  }
  CivilTime LocalNow() const override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

ConnectedStream FromTcp(ConnectResult result) {
  ConnectedStream connected;
  connected.status = result.status;
  if (!result.status.ok()) return connected;
  connected.local = result.stream->LocalAddress();
  connected.peer = result.stream->PeerAddress();
  connected.stream = std::move(result.stream);
  return connected;
}

class SocketListener : public DataListener {
 public:
  Status Listen(const SocketAddress& address) { return listener_.Listen(address); }
  const SocketAddress& address() const override { return listener_.address(); }
  ConnectedStream Accept(std::chrono::milliseconds timeout) override {
    return FromTcp(listener_.Accept(timeout));
  }

 private:
  TcpListener listener_;
};

class SocketNetwork : public NetworkEnvironment {
 public:
  std::chrono::steady_clock::time_point Now() const override { return SystemClock().Now(); }
  CivilTime LocalNow() const override { return SystemClock().LocalNow(); }

  ConnectedStream Connect(const std::string& host, std::uint16_t port,
                          const std::optional<ProxySettings>& proxy,
                          std::chrono::milliseconds timeout) override {
    return FromTcp(proxy ? ConnectThroughProxy(*proxy, host, port, timeout)
                         : ConnectTcp(host, port, timeout));
  }

  ConnectedStream Connect(const SocketAddress& address, std::chrono::milliseconds timeout) override {
    return FromTcp(ConnectTcp(address, timeout));
  }

  Status Listen(const SocketAddress& address, std::unique_ptr<DataListener>& listener) override {
    auto listening = std::make_unique<SocketListener>();
    const Status status = listening->Listen(address);
    if (status.ok()) listener = std::move(listening);
    return status;
  }
};

}  // namespace

const EngineClock& SystemClock() {
  // Never destroyed: a session closed during the program's exit still reads it.
  static const SystemClocks* const clocks = new SystemClocks;
  return *clocks;
}

std::shared_ptr<NetworkEnvironment> SystemNetwork() {
  static const auto* const network =
      new std::shared_ptr<NetworkEnvironment>(std::make_shared<SocketNetwork>());
  return *network;
}

}  // namespace orvex::inet
