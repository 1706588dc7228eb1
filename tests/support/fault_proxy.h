#ifndef ORVEX_TESTS_SUPPORT_FAULT_PROXY_H_
#define ORVEX_TESTS_SUPPORT_FAULT_PROXY_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace orvex::testing {

// A TCP forwarder inside the test process, between a client and a target
// (normally a real FTP server's control port) on loopback. It forwards bytes
// both ways untouched until the test tells it to break the connections.
//
// Point the client's control connection at host():port(). Passive data
// connections do not pass through the proxy, and need not: the client opens
// them to the control connection's peer address (127.0.0.1, the proxy's) and
// the port the server named, which on loopback is the server itself. So the
// faults below hit the control connection only, exactly "the connection
// dropped between two operations".
//
// Thread-safe: the fault calls may come from any thread while the client
// works. The destructor closes everything and joins its threads.
class FaultProxy {
 public:
  // Listens on 127.0.0.1 on a free port right away; throws std::runtime_error
  // when it cannot.
  FaultProxy(std::string target_host, std::uint16_t target_port);
  ~FaultProxy();

  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  const std::string& host() const;  // "127.0.0.1"
  std::uint16_t port() const;

  // Closes both sides of every current connection cleanly (FIN) after
  // forwarding what was already read. The proxy keeps accepting new ones.
  void CloseAll();
  // Aborts every current connection with a reset (RST) on both sides.
  void ResetAll();
  // Stops forwarding in both directions, on current connections and on those
  // accepted later, while keeping every socket open: the client sees a
  // server that has gone silent. Resume() forwards what was held back.
  void Stall();
  void Resume();
  // While refusing, new connections are accepted and closed at once (the
  // server "is there but drops every login"). Current ones are untouched.
  void RefuseNew(bool refuse);

  // Connection number `from` (counted from 1 since construction) and all
  // after it go to 127.0.0.1:`port` instead of the target: a client's
  // further connections meet another server than its first.
  void SendLaterConnectionsTo(int from, std::uint16_t port);
  // Connections accepted since construction, and those still open.
  int accepted_connections() const;
  int open_connections() const;
  // Waits until at least `count` connections have been accepted.
  bool WaitForAccepted(int count, std::chrono::milliseconds timeout) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_FAULT_PROXY_H_
