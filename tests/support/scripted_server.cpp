#include "tests/support/scripted_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "tests/support/socket_util.h"

namespace orvex::testing {
namespace {

constexpr std::chrono::milliseconds kDataWait{5000};
constexpr size_t kLineLimit = 64 * 1024;

std::string Upper(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return result;
}

}  // namespace

struct ScriptedServer::State {
  class SessionImpl;

  std::string host = "127.0.0.1";
  std::uint16_t port = 0;
  int listener = -1;
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::string greeting = "220 Scripted FTP server ready";
  std::map<std::string, Handler> handlers;
  std::vector<std::string> listing;
  std::string passive_address = "127.0.0.1";
  bool extended_passive = true;
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> uploads;
  std::vector<std::string> commands;
  int connections = 0;
  int data_connections = 0;
  std::set<int> live_descriptors;  // cut by the destructor to end blocked calls
  std::vector<std::thread> threads;
  std::thread acceptor;

  void AcceptLoop();
  void Serve(int descriptor);
};

class ScriptedServer::State::SessionImpl final : public ScriptedServer::Session {
 public:
  SessionImpl(ScriptedServer::State& state, int descriptor) : state_(state), control_(descriptor) {}
  ~SessionImpl() override { CloseListener(); }

  void Reply(std::string_view text) override {
    std::string bytes(text);
    if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) bytes += "\r\n";
    SendAll(control_, bytes);
  }
  void SendRaw(std::string_view bytes) override { SendAll(control_, bytes); }
  void SendEndless(std::string_view prefix) override {
    if (!SendAll(control_, prefix)) return;
    const std::string filler(4096, 'x');
    while (!state_.stopping && SendAll(control_, filler)) {
    }
    close_ = true;
  }
  void ReplyPassive(std::string_view shown_address) override {
    if (!OpenListener()) return Reply("425 Cannot open data port");
    std::string numbers(shown_address);
    std::replace(numbers.begin(), numbers.end(), '.', ',');
    Reply("227 Entering Passive Mode (" + numbers + "," + std::to_string(data_port_ / 256) + "," +
          std::to_string(data_port_ % 256) + ")");
  }
  void ReplyExtendedPassive() override {
    if (!OpenListener()) return Reply("425 Cannot open data port");
    Reply("229 Entering Extended Passive Mode (|||" + std::to_string(data_port_) + "|)");
  }
  bool SendData(std::string_view bytes) override {
    int data = AcceptData();
    if (data < 0) return false;
    bool sent = SendAll(data, bytes);
    ::shutdown(data, SHUT_WR);
    // Let the client read everything before the socket goes away.
    WaitReadable(data, std::chrono::milliseconds(200));
    Forget(data);
    return sent;
  }
  std::optional<std::string> ReceiveData() override {
    int data = AcceptData();
    if (data < 0) return std::nullopt;
    std::string bytes;
    char buffer[16384];
    while (WaitReadable(data, kDataWait)) {
      ssize_t received = ::recv(data, buffer, sizeof buffer, 0);
      if (received <= 0) break;
      bytes.append(buffer, static_cast<size_t>(received));
    }
    Forget(data);
    return bytes;
  }
  bool SendDataThenReset(std::string_view bytes) override {
    int data = AcceptData();
    if (data < 0) return false;
    bool sent = SendAll(data, bytes);
    // Give the bytes a moment to leave, then abort: linger 0 sends RST.
    WaitReadable(data, std::chrono::milliseconds(100));
    ::linger abort_now{1, 0};
    ::setsockopt(data, SOL_SOCKET, SO_LINGER, &abort_now, sizeof abort_now);
    Forget(data);
    return sent;
  }
  bool SendDataSlowly(std::string_view bytes, std::chrono::milliseconds pause) override {
    int data = AcceptData();
    if (data < 0) return false;
    bool sent = true;
    for (char byte : bytes) {
      if (state_.stopping || !SendAll(data, std::string_view(&byte, 1))) {
        sent = false;
        break;
      }
      // A readable data socket here means the client closed its side.
      if (WaitReadable(data, pause)) {
        sent = false;
        break;
      }
    }
    if (sent) ::shutdown(data, SHUT_WR);
    Forget(data);
    return sent;
  }
  void Close() override { close_ = true; }
  void Hang() override { hang_ = true; }

  bool closing() const { return close_; }
  bool hanging() const { return hang_; }

 private:
  bool OpenListener() {
    CloseListener();
    listener_ = ListenLoopback(0, &data_port_);
    return listener_ >= 0;
  }
  void CloseListener() {
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
  }
  int AcceptData() {
    if (listener_ < 0) return -1;
    int data = AcceptWithin(listener_, kDataWait);
    CloseListener();
    if (data < 0) return -1;
    std::lock_guard lock(state_.mutex);
    ++state_.data_connections;
    state_.live_descriptors.insert(data);
    return data;
  }
  void Forget(int data) {
    {
      std::lock_guard lock(state_.mutex);
      state_.live_descriptors.erase(data);
    }
    ::close(data);
  }

  ScriptedServer::State& state_;
  int control_;
  int listener_ = -1;
  std::uint16_t data_port_ = 0;
  bool close_ = false;
  bool hang_ = false;
};

void ScriptedServer::State::AcceptLoop() {
  while (!stopping) {
    int descriptor = AcceptWithin(listener, std::chrono::milliseconds(50));
    if (descriptor < 0) continue;
    std::lock_guard lock(mutex);
    ++connections;
    live_descriptors.insert(descriptor);
    threads.emplace_back([this, descriptor] { Serve(descriptor); });
  }
}

void ScriptedServer::State::Serve(int descriptor) {
  SessionImpl session(*this, descriptor);
  std::string greeting_text;
  {
    std::lock_guard lock(mutex);
    greeting_text = greeting;
  }
  if (!greeting_text.empty()) session.Reply(greeting_text);
  std::string buffer;
  char chunk[4096];
  while (!stopping && !session.closing()) {
    if (!WaitReadable(descriptor, std::chrono::milliseconds(50))) continue;
    ssize_t received = ::recv(descriptor, chunk, sizeof chunk, 0);
    if (received <= 0) break;
    buffer.append(chunk, static_cast<size_t>(received));
    size_t end;
    while (!session.closing() && (end = buffer.find('\n')) != std::string::npos) {
      std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Command command;
      command.line = line;
      size_t space = line.find(' ');
      command.verb = Upper(line.substr(0, space));
      command.argument = space == std::string::npos ? "" : line.substr(space + 1);
      Handler handler;
      {
        std::lock_guard lock(mutex);
        commands.push_back(line);
        changed.notify_all();
        auto found = handlers.find(command.verb);
        if (found != handlers.end()) handler = found->second;
      }
      if (session.hanging()) continue;
      if (handler) {
        handler(session, command);
      } else {
        session.Reply("502 Command not implemented");
      }
    }
    if (buffer.size() > kLineLimit) break;
  }
  {
    std::lock_guard lock(mutex);
    live_descriptors.erase(descriptor);
  }
  ::close(descriptor);
}

ScriptedServer::ScriptedServer() : state_(std::make_shared<State>()) {
  State& state = *state_;
  auto fixed = [this](std::string verb, std::string reply) { On(verb, Fixed(std::move(reply))); };
  fixed("USER", "331 Password required");
  fixed("PASS", "230 Logged in");
  fixed("SYST", "215 UNIX Type: L8");
  fixed("FEAT", "211-Features:\r\n UTF8\r\n EPSV\r\n PASV\r\n SIZE\r\n211 End");
  fixed("OPTS", "200 OK");
  fixed("TYPE", "200 Type set");
  fixed("MODE", "200 Mode set");
  fixed("STRU", "200 Structure set");
  fixed("NOOP", "200 OK");
  fixed("PWD", "257 \"/\" is the current folder");
  fixed("CWD", "250 Folder changed");
  fixed("MKD", "257 Folder created");
  fixed("RMD", "250 Folder removed");
  fixed("DELE", "250 File deleted");
  fixed("RNFR", "350 Ready for the new name");
  fixed("RNTO", "250 Renamed");
  fixed("PORT", "502 Active mode is not offered");
  fixed("EPRT", "502 Active mode is not offered");
  On("QUIT", [](Session& session, const Command&) {
    session.Reply("221 Goodbye");
    session.Close();
  });
  On("EPSV", [&state](Session& session, const Command&) {
    bool enabled;
    {
      std::lock_guard lock(state.mutex);
      enabled = state.extended_passive;
    }
    if (enabled) {
      session.ReplyExtendedPassive();
    } else {
      session.Reply("500 EPSV not understood");
    }
  });
  On("PASV", [&state](Session& session, const Command&) {
    std::string address;
    {
      std::lock_guard lock(state.mutex);
      address = state.passive_address;
    }
    session.ReplyPassive(address);
  });
  auto list = [&state](Session& session, const Command&) {
    std::string bytes;
    {
      std::lock_guard lock(state.mutex);
      for (const std::string& line : state.listing) bytes += line + "\r\n";
    }
    session.Reply("150 Here comes the listing");
    session.Reply(session.SendData(bytes) ? "226 Listing sent" : "425 No data connection");
  };
  On("LIST", list);
  On("NLST", list);
  On("SIZE", [&state](Session& session, const Command& command) {
    std::lock_guard lock(state.mutex);
    auto found = state.files.find(command.argument);
    session.Reply(found == state.files.end() ? "550 No such file"
                                             : "213 " + std::to_string(found->second.size()));
  });
  On("RETR", [&state](Session& session, const Command& command) {
    std::optional<std::string> content;
    {
      std::lock_guard lock(state.mutex);
      auto found = state.files.find(command.argument);
      if (found != state.files.end()) content = found->second;
    }
    if (!content) return session.Reply("550 No such file");
    session.Reply("150 Sending");
    session.Reply(session.SendData(*content) ? "226 Transfer complete" : "425 No data connection");
  });
  On("STOR", [&state](Session& session, const Command& command) {
    session.Reply("150 Ready to receive");
    std::optional<std::string> content = session.ReceiveData();
    if (!content) return session.Reply("425 No data connection");
    {
      std::lock_guard lock(state.mutex);
      state.uploads[command.argument] = *content;
    }
    session.Reply("226 Transfer complete");
  });

  state.listener = ListenLoopback(0, &state.port);
  if (state.listener < 0) throw std::runtime_error("ScriptedServer: cannot listen");
  state.acceptor = std::thread([&state] { state.AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  State& state = *state_;
  state.stopping = true;
  state.acceptor.join();
  {
    // Unblock sessions stuck in a send (endless replies to a client that
    // stopped reading) or a data wait.
    std::lock_guard lock(state.mutex);
    for (int descriptor : state.live_descriptors) ::shutdown(descriptor, SHUT_RDWR);
  }
  // No new session threads can appear once the acceptor has ended.
  for (std::thread& thread : state.threads) thread.join();
  ::close(state.listener);
}

const std::string& ScriptedServer::host() const { return state_->host; }
std::uint16_t ScriptedServer::port() const { return state_->port; }

void ScriptedServer::SetGreeting(std::string text) {
  std::lock_guard lock(state_->mutex);
  state_->greeting = std::move(text);
}

void ScriptedServer::On(std::string_view verb, Handler handler) {
  std::lock_guard lock(state_->mutex);
  state_->handlers[Upper(verb)] = std::move(handler);
}

void ScriptedServer::SetListing(std::vector<std::string> lines) {
  std::lock_guard lock(state_->mutex);
  state_->listing = std::move(lines);
}

void ScriptedServer::SetPassiveAddress(std::string address) {
  std::lock_guard lock(state_->mutex);
  state_->passive_address = std::move(address);
}

void ScriptedServer::SetExtendedPassive(bool enabled) {
  std::lock_guard lock(state_->mutex);
  state_->extended_passive = enabled;
}

void ScriptedServer::SetFile(std::string path, std::string content) {
  std::lock_guard lock(state_->mutex);
  state_->files[std::move(path)] = std::move(content);
}

std::optional<std::string> ScriptedServer::Uploaded(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  auto found = state_->uploads.find(path);
  if (found == state_->uploads.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> ScriptedServer::Commands() const {
  std::lock_guard lock(state_->mutex);
  return state_->commands;
}

bool ScriptedServer::WaitForCommand(std::string_view verb, std::chrono::milliseconds timeout) const {
  const std::string wanted = Upper(verb);
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] {
    for (const std::string& line : state_->commands) {
      if (Upper(line.substr(0, line.find(' '))) == wanted) return true;
    }
    return false;
  });
}

int ScriptedServer::connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->connections;
}

int ScriptedServer::data_connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->data_connections;
}

ScriptedServer::Handler ScriptedServer::Endless(std::string prefix) {
  return [prefix = std::move(prefix)](Session& session, const Command&) {
    session.SendEndless(prefix);
  };
}

ScriptedServer::Handler ScriptedServer::Silent() {
  return [](Session& session, const Command&) { session.Hang(); };
}

ScriptedServer::Handler ScriptedServer::Fixed(std::string reply) {
  return [reply = std::move(reply)](Session& session, const Command&) { session.Reply(reply); };
}

}  // namespace orvex::testing
