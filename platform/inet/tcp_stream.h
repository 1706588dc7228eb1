#pragma once
// A connected TCP socket as a Stream, plus the plain socket steps the engine
// needs: connecting to a host within a time limit and listening for one
// incoming connection (active-mode data).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/inet/socket_address.h"
#include "platform/inet/stream.h"

namespace orvex::inet {

class TcpStream : public Stream {
 public:
  explicit TcpStream(int descriptor);
  ~TcpStream() override;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  ReadResult ReadSome(void* buffer, std::size_t size,
                      std::chrono::milliseconds timeout) override;
  Status WriteAll(const void* data, std::size_t size,
                  std::chrono::milliseconds timeout) override;
  void ShutdownWrite() override;

  SocketAddress LocalAddress() const;
  SocketAddress PeerAddress() const;

 private:
  int descriptor_;
};

struct ConnectResult {
  Status status;
  std::unique_ptr<TcpStream> stream;
};

// Resolves `host` (a name or a numeric IPv4/IPv6 address) and connects to the
// first address that answers; the whole attempt is bounded by `timeout`.
// Errors: ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT,
// ERROR_INTERNET_TIMEOUT.
ConnectResult ConnectTcp(const std::string& host, std::uint16_t port,
                         std::chrono::milliseconds timeout);
ConnectResult ConnectTcp(const SocketAddress& address,
                         std::chrono::milliseconds timeout);

// A socket listening on one address (port chosen by the system) that accepts
// a single connection.
class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Binds to `address` with its port replaced by a free one.
  Status Listen(const SocketAddress& address);
  const SocketAddress& address() const { return address_; }
  ConnectResult Accept(std::chrono::milliseconds timeout);

 private:
  int descriptor_ = -1;
  SocketAddress address_;
};

}  // namespace orvex::inet
