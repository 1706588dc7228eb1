#pragma once
// An FTP server and its network, in memory, for driving the engine without
// sockets, threads or sleeps.
//
// A test scripts what the server says and how its bytes arrive (in pieces of
// a given size, each taking a given amount of test time, then closed, reset
// or silent), hands the FakeNetwork to a session as its environment, and
// checks what the engine sent and returned. Time is the network's own clock:
// a wait on a silent stream moves that clock on by the whole wait and times
// out at once, so a minute's time limit costs nothing.
//
// Out of the box the server is a plain, well-mannered one that accepts any
// login: a 220 greeting, USER 331, PASS 230, FEAT (SIZE only, so listings
// use LIST), TYPE, MODE, EPRT and PORT 200, EPSV 229 and PASV 227, CWD, DELE,
// RMD and RNTO 250, RNFR 350, MKD 257, PWD ("/"), NOOP 200, ABOR 225,
// QUIT 221; LIST, NLST, MLSD, RETR and STOR as transfers of nothing that end
// with 226; anything else 502. On() and OnTransfer() replace any of it.
//
// A transfer runs as servers run one: the opening reply (150) answers the
// command once its data connection is there (a passive command that comes
// ahead of its connection waits for it), the data connection delivers the
// scripted bytes, and the final reply goes out once the engine has closed
// the data connection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/inet/network_environment.h"

namespace orvex::testing {

// How a stream ends once its scripted bytes are out.
enum class StreamEnd {
  Close,  // an orderly close: reads give 0 bytes
  Reset,  // ERROR_INTERNET_CONNECTION_RESET
  Silent  // nothing more, ever: every read waits out its time limit
};

// What the server's side of a stream sends, and how.
struct Delivery {
  std::string bytes;
  std::size_t piece = 0;               // at most this many bytes per read; 0: no limit
  std::chrono::milliseconds pause{0};  // test time each read takes before its bytes arrive
  StreamEnd end = StreamEnd::Close;
};

// One data command (LIST, MLSD, RETR, STOR...) as the server runs it.
struct TransferScript {
  std::string opening = "150 Opening data connection.\r\n";
  Delivery data;
  std::string final_reply = "226 Transfer complete.\r\n";  // empty: none is sent
  // What the control connection does after the final reply (Silent: it
  // stays open and quiet).
  StreamEnd control_after = StreamEnd::Silent;
};

// A transfer that delivers `bytes` and ends as given.
inline TransferScript Transfer(std::string bytes, std::string final_reply = "226 Transfer complete.\r\n",
                               StreamEnd data_end = StreamEnd::Close,
                               StreamEnd control_after = StreamEnd::Silent) {
  TransferScript script;
  script.data.bytes = std::move(bytes);
  script.data.end = data_end;
  script.final_reply = std::move(final_reply);
  script.control_after = control_after;
  return script;
}

// A data command the server turns down with `reply`: no data goes out.
inline TransferScript Refused(std::string reply) {
  TransferScript script;
  script.opening = std::move(reply);
  return script;
}

class FakeNetwork final : public inet::NetworkEnvironment {
 public:
  FakeNetwork();
  ~FakeNetwork() override;
  FakeNetwork(const FakeNetwork&) = delete;
  FakeNetwork& operator=(const FakeNetwork&) = delete;

  // The server's words. `bytes` go out exactly as given (line ends
  // included); `then` ends the control connection after them.
  void Greeting(std::string bytes);
  void On(const std::string& verb, std::string bytes, StreamEnd then = StreamEnd::Silent);
  void OnTransfer(const std::string& verb, TransferScript script);
  // How the control connection hands out whatever the server says.
  void ControlPieces(std::size_t piece, std::chrono::milliseconds pause = {});
  // Every data connection the engine opens (passive) fails with `error`; in
  // active mode the server never connects.
  void RefuseDataConnections(std::uint32_t error);
  // In active mode, a connection from `address` reaches the engine's
  // listener before the server's own.
  void IntruderBeforeServer(std::string address);

  // What the engine did.
  std::vector<std::string> commands() const;  // every line sent, without CR LF
  std::vector<std::string> uploads() const;   // the bytes each data connection received
  int data_connections() const;

  // The clocks.
  void Advance(std::chrono::milliseconds time);
  void SetLocalNow(const inet::CivilTime& time);
  std::chrono::steady_clock::time_point Now() const override;
  inet::CivilTime LocalNow() const override;

  // The environment's side: the control connection to any host and port
  // (127.0.0.1 on both ends), data connections to the announced ports.
  inet::ConnectedStream Connect(const std::string& host, std::uint16_t port,
                                const std::optional<inet::ProxySettings>& proxy,
                                std::chrono::milliseconds timeout) override;
  inet::ConnectedStream Connect(const inet::SocketAddress& address,
                                std::chrono::milliseconds timeout) override;
  inet::Status Listen(const inet::SocketAddress& address,
                      std::unique_ptr<inet::DataListener>& listener) override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// The piece sizes to deliver `total` bytes in: every size from 1 to
// total + 1 (so every boundary falls between two pieces), for long texts
// every size up to 64 and the sizes around the engine's 4096-byte buffers
// and around the whole text.
std::vector<std::size_t> PieceSizes(std::size_t total);

// "127.0.0.1" or "::1" with a port, as a socket address.
inet::SocketAddress NumericAddress(const std::string& address, std::uint16_t port);

}  // namespace orvex::testing
