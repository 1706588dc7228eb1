#ifndef ORVEX_TESTS_SUPPORT_SCRIPTED_SERVER_H_
#define ORVEX_TESTS_SUPPORT_SCRIPTED_SERVER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::testing {

// A tiny FTP-speaking server inside the test process, for behaviour no real
// server shows on demand: odd or hostile replies, silence, endless lines,
// foreign addresses in PASV replies, listings given line by line.
//
// Out of the box it behaves like a plain, well-mannered server with one
// login that accepts any user and password: USER 331, PASS 230, SYST, FEAT
// (UTF8 only, so clients fall back to LIST), OPTS, TYPE, MODE, STRU, NOOP,
// PWD ("/"), CWD, MKD, RMD, DELE, RNFR/RNTO, SIZE, EPSV and PASV, LIST and
// NLST (the lines given to SetListing), RETR (files given to SetFile), STOR
// (kept, see Uploaded), QUIT; anything else gets 502. Active mode (PORT,
// EPRT) is refused with 502. A test replaces any command with On().
//
// Every command line received is recorded (Commands()), also those that got
// no answer, so a test can prove what was or was not sent.
//
// Bounded: every wait inside has a time limit, and the destructor cuts all
// sessions (including endless replies and silent ones) and joins its threads.
// The setters and On() are thread-safe and take effect for the next command.
class ScriptedServer {
 public:
  struct Command {
    std::string line;      // as received, without CRLF
    std::string verb;      // first word, upper case
    std::string argument;  // the rest after one space ("" when none)
  };

  // What a handler can do on its control connection. Used only from inside a
  // handler, on the session's own thread.
  class Session {
   public:
    virtual ~Session() = default;
    // Sends text, adding CRLF when it does not already end with one; may hold
    // several lines ("211-Features:\r\n UTF8\r\n211 End").
    virtual void Reply(std::string_view text) = 0;
    // Sends bytes exactly as given.
    virtual void SendRaw(std::string_view bytes) = 0;
    // Sends `prefix` and then filler bytes without ever ending the line,
    // until the client closes the connection or the server is destroyed.
    virtual void SendEndless(std::string_view prefix) = 0;
    // Opens a data listener on 127.0.0.1 (a free port) and answers
    // "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" naming `shown_address`
    // with that port. A correct client ignores the address and connects to
    // 127.0.0.1, and succeeds; one that follows the address goes elsewhere.
    virtual void ReplyPassive(std::string_view shown_address) = 0;
    // Same listener, answered with "229 Entering Extended Passive Mode (|||port|)".
    virtual void ReplyExtendedPassive() = 0;
    // Accept the data connection announced by the last passive reply (waits a
    // few seconds at most), then send all bytes and close it / read until the
    // client closes it. False / nullopt when the client never connected.
    virtual bool SendData(std::string_view bytes) = 0;
    virtual std::optional<std::string> ReceiveData() = 0;
    // Accepts the data connection, sends `bytes` and then resets it (RST):
    // a data connection cut in the middle of a listing or a file.
    virtual bool SendDataThenReset(std::string_view bytes) = 0;
    // Accepts the data connection and sends `bytes` one at a time with
    // `pause` between them, then closes it. Stops early (false) when the
    // client closes the connection or the server is destroyed.
    virtual bool SendDataSlowly(std::string_view bytes, std::chrono::milliseconds pause) = 0;
    // Closes the control connection once the handler returns.
    virtual void Close() = 0;
    // From now on, this session answers nothing (commands are still read
    // and recorded) until the client goes away.
    virtual void Hang() = 0;
  };

  using Handler = std::function<void(Session&, const Command&)>;

  // Listens on 127.0.0.1 on a free port at once; throws std::runtime_error
  // when it cannot.
  ScriptedServer();
  ~ScriptedServer();

  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  const std::string& host() const;  // "127.0.0.1"
  std::uint16_t port() const;

  // Sent on every new connection; default "220 Scripted FTP server ready".
  // An empty greeting sends nothing: a server that accepts and never speaks.
  void SetGreeting(std::string text);
  // Replaces (or adds) the handler for a verb (case-insensitive).
  void On(std::string_view verb, Handler handler);

  // Lines sent over the data connection for LIST and NLST, each ended by CRLF.
  void SetListing(std::vector<std::string> lines);
  // Address named in PASV replies (default "127.0.0.1").
  void SetPassiveAddress(std::string address);
  // When false, EPSV is refused with 500 so clients must use PASV.
  void SetExtendedPassive(bool enabled);
  // Content served by RETR and SIZE for a path as the client sends it.
  void SetFile(std::string path, std::string content);
  // Content a client stored with STOR under that path.
  std::optional<std::string> Uploaded(const std::string& path) const;

  // Every command line received so far, all sessions, in order.
  std::vector<std::string> Commands() const;
  // Waits until a command with this verb (case-insensitive) has arrived.
  bool WaitForCommand(std::string_view verb, std::chrono::milliseconds timeout) const;
  int connections() const;       // control connections accepted
  int data_connections() const;  // data connections accepted

  // Ready-made handlers.
  // A reply that starts with `prefix` (e.g. "257 \"") and never ends its line.
  static Handler Endless(std::string prefix);
  // No answer to this command, ever; the session stays silent afterwards.
  static Handler Silent();
  // A fixed reply (one or several lines).
  static Handler Fixed(std::string reply);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace orvex::testing

#endif  // ORVEX_TESTS_SUPPORT_SCRIPTED_SERVER_H_
