#pragma once
// What the FTP engine needs from the world outside it: connected streams,
// a listener for the data connections a server opens towards us (active
// mode), and the clocks its time limits and listings read. An FTP connection
// does all of that through one NetworkEnvironment, so the protocol code runs
// the same over real sockets and over streams a test scripts in memory.
//
// What the engine relies on, and an environment must give:
// - Every call that waits is bounded by the timeout it is given and ends with
//   the stream contract's errors (stream.h): ERROR_INTERNET_TIMEOUT when the
//   time is up, ERROR_INTERNET_OPERATION_CANCELLED when cancelled.
// - A connection is returned with the addresses of both of its ends: the
//   engine sends passive data connections to the control connection's peer,
//   listens beside its local address, and accepts only the peer.
// - Now() never goes backwards; waits and deadlines of the engine are read
//   on it, never on another clock.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/inet/engine_clock.h"
#include "platform/inet/proxy.h"
#include "platform/inet/socket_address.h"
#include "platform/inet/status.h"
#include "platform/inet/stream.h"

namespace orvex::inet {

struct ConnectedStream {
  Status status;
  std::unique_ptr<Stream> stream;  // set when status is ok
  SocketAddress local;
  SocketAddress peer;
};

// Waits for one data connection on a listening address.
class DataListener {
 public:
  virtual ~DataListener() = default;
  // The address to name to the server (EPRT, PORT).
  virtual const SocketAddress& address() const = 0;
  // The next incoming connection, whoever it comes from: the caller checks
  // the peer.
  virtual ConnectedStream Accept(std::chrono::milliseconds timeout) = 0;
};

class NetworkEnvironment : public EngineClock {
 public:
  // Connects to `host` (a name or a numeric address) on `port`, directly or,
  // when `proxy` is given, through that proxy (which then resolves the
  // name). Errors: ERROR_INTERNET_NAME_NOT_RESOLVED,
  // ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_TIMEOUT, a proxy's errors
  // (proxy.h).
  virtual ConnectedStream Connect(const std::string& host, std::uint16_t port,
                             const std::optional<ProxySettings>& proxy,
                             std::chrono::milliseconds timeout) = 0;
  // Connects to one numeric address, no name lookup.
  virtual ConnectedStream Connect(const SocketAddress& address, std::chrono::milliseconds timeout) = 0;
  // Listens on `address` with its port replaced by a free one.
  virtual Status Listen(const SocketAddress& address, std::unique_ptr<DataListener>& listener) = 0;
};

// POSIX sockets (tcp_stream.h), proxies (proxy.h) and the system clocks:
// what every session uses unless it is given another environment.
std::shared_ptr<NetworkEnvironment> SystemNetwork();

}  // namespace orvex::inet
