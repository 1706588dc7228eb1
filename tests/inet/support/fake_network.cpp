#include "tests/inet/support/fake_network.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <limits>

namespace orvex::testing {
namespace {

using inet::ConnectedStream;
using inet::ReadResult;
using inet::SocketAddress;
using inet::Status;
using Milliseconds = std::chrono::milliseconds;

constexpr std::uint16_t kControlPort = 21;
constexpr std::uint16_t kServerDataPort = 20;
constexpr std::uint16_t kFirstDataPort = 50000;
constexpr std::uint16_t kEngineControlPort = 40000;
constexpr std::uint16_t kEngineDataPort = 40001;

struct Answer {
  std::string bytes;
  StreamEnd then = StreamEnd::Silent;
  std::optional<TransferScript> transfer;
};

// What the server sends on one connection, and how far the engine has read.
struct Outgoing {
  std::string bytes;
  std::size_t offset = 0;
  std::optional<StreamEnd> end;  // none: open, and silent once read
};

struct DataChannel {
  std::optional<TransferScript> script;  // set when the data command arrives
  Outgoing outgoing;
  std::string received;
};

struct ControlState {
  Outgoing outgoing;
  std::string partial_line;
};

std::string VerbOf(const std::string& line) {
  std::string verb = line.substr(0, line.find(' '));
  for (char& character : verb) {
    character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
  }
  return verb;
}

}  // namespace

std::vector<std::size_t> PieceSizes(std::size_t total) {
  std::vector<std::size_t> sizes;
  constexpr std::size_t kEverySizeUpTo = 64;
  for (std::size_t size = 1; size <= std::min(total + 1, kEverySizeUpTo); ++size) {
    sizes.push_back(size);
  }
  for (const std::size_t size : {std::size_t{4095}, std::size_t{4096}, std::size_t{4097},
                                 total - 1, total, total + 1}) {
    if (size > kEverySizeUpTo && size <= total + 1 &&
        std::find(sizes.begin(), sizes.end(), size) == sizes.end()) {
      sizes.push_back(size);
    }
  }
  return sizes;
}

SocketAddress NumericAddress(const std::string& address, std::uint16_t port) {
  SocketAddress result;
  if (address.find(':') != std::string::npos) {
    sockaddr_in6 ipv6{};
    ipv6.sin6_family = AF_INET6;
    inet_pton(AF_INET6, address.c_str(), &ipv6.sin6_addr);
    std::memcpy(&result.storage, &ipv6, sizeof ipv6);
    result.length = sizeof ipv6;
  } else {
    sockaddr_in ipv4{};
    ipv4.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &ipv4.sin_addr);
    std::memcpy(&result.storage, &ipv4, sizeof ipv4);
    result.length = sizeof ipv4;
  }
  result.set_port(port);
  return result;
}

struct FakeNetwork::State {
  std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
  inet::CivilTime local{2026, 6, 15, 12, 0, 0};
  std::string greeting = "220 Fake FTP server ready.\r\n";
  std::map<std::string, Answer> answers;
  std::size_t control_piece = 0;
  Milliseconds control_pause{0};
  std::optional<std::uint32_t> data_refusal;
  std::optional<std::string> intruder;

  std::vector<std::string> commands;
  std::vector<std::shared_ptr<DataChannel>> data;
  std::shared_ptr<ControlState> control;
  std::shared_ptr<DataChannel> connected_data;  // passive, waiting for its command
  std::optional<TransferScript> awaiting;        // passive, a command waiting for its connection
  bool listening = false;
  std::uint16_t next_port = kFirstDataPort;
  std::deque<ConnectedStream> incoming;  // active mode: for the listener

  ReadResult Deliver(Outgoing& outgoing, std::size_t piece, Milliseconds pause, void* buffer,
                     std::size_t size, Milliseconds timeout) {
    if (outgoing.offset < outgoing.bytes.size()) {
      if (pause > timeout) {
        now += timeout;
        return {Status(win32::ERROR_INTERNET_TIMEOUT), 0};
      }
      now += pause;
      const std::size_t count =
          std::min({size, outgoing.bytes.size() - outgoing.offset,
                    piece == 0 ? std::numeric_limits<std::size_t>::max() : piece});
      std::memcpy(buffer, outgoing.bytes.data() + outgoing.offset, count);
      outgoing.offset += count;
      return {Status::Ok(), count};
    }
    switch (outgoing.end.value_or(StreamEnd::Silent)) {
      case StreamEnd::Close: return {Status::Ok(), 0};
      case StreamEnd::Reset: return {Status(win32::ERROR_INTERNET_CONNECTION_RESET), 0};
      case StreamEnd::Silent: break;
    }
    now += timeout;
    return {Status(win32::ERROR_INTERNET_TIMEOUT), 0};
  }

  void Say(ControlState& to, const std::string& bytes, StreamEnd then) {
    if (to.outgoing.end) return;  // closed: nothing more goes out
    to.outgoing.bytes += bytes;
    if (then != StreamEnd::Silent) to.outgoing.end = then;
  }

  void Receive(ControlState& from, const std::string& line) {
    commands.push_back(line);
    const auto found = answers.find(VerbOf(line));
    if (found == answers.end()) {
      Say(from, "502 Command not implemented.\r\n", StreamEnd::Silent);
      return;
    }
    const Answer& answer = found->second;
    if (!answer.transfer) {
      Say(from, answer.bytes, answer.then);
      return;
    }
    const TransferScript& script = *answer.transfer;
    if (script.opening.empty() || script.opening.front() != '1') {
      Say(from, script.opening, StreamEnd::Silent);  // refused: no data goes out
      return;
    }
    std::shared_ptr<DataChannel> channel = std::move(connected_data);
    if (!channel && listening) {
      channel = std::make_shared<DataChannel>();
      if (intruder) {
        auto stranger = std::make_shared<DataChannel>();
        stranger->script.emplace();
        stranger->script->final_reply.clear();  // a stranger has no say on the control connection
        stranger->outgoing.bytes = "stolen";
        stranger->outgoing.end = StreamEnd::Close;
        incoming.push_back(Accepted(stranger, *intruder));
      }
      if (!data_refusal) incoming.push_back(Accepted(channel, "127.0.0.1"));
    }
    const bool active = listening;
    listening = false;
    if (!channel && !active) {
      // Passive, the command ahead of its connection: a real server waits
      // for the connection, and so does this one.
      awaiting = script;
      return;
    }
    if (!channel) {
      Say(from, "425 Can't open data connection.\r\n", StreamEnd::Silent);
      return;
    }
    Start(from, *channel, script);
  }

  void Start(ControlState& from, DataChannel& channel, const TransferScript& script) {
    channel.script = script;
    channel.outgoing.bytes = script.data.bytes;
    channel.outgoing.end = script.data.end;
    Say(from, script.opening, StreamEnd::Silent);
  }

  void DataClosed(DataChannel& channel) {
    if (!channel.script || !control) return;
    Say(*control, channel.script->final_reply, channel.script->control_after);
  }

  ConnectedStream Accepted(std::shared_ptr<DataChannel> channel, const std::string& peer);
  std::shared_ptr<State> self() { return shared_self.lock(); }
  std::weak_ptr<State> shared_self;
};

namespace {

class ControlStream final : public inet::Stream {
 public:
  ControlStream(std::shared_ptr<FakeNetwork::State> state, std::shared_ptr<ControlState> control)
      : state_(std::move(state)), control_(std::move(control)) {}

  ReadResult ReadSome(void* buffer, std::size_t size, Milliseconds timeout) override {
    return state_->Deliver(control_->outgoing, state_->control_piece, state_->control_pause,
                           buffer, size, timeout);
  }

  Status WriteAll(const void* data, std::size_t size, Milliseconds) override {
    control_->partial_line.append(static_cast<const char*>(data), size);
    for (std::size_t end = control_->partial_line.find("\r\n"); end != std::string::npos;
         end = control_->partial_line.find("\r\n")) {
      const std::string line = control_->partial_line.substr(0, end);
      control_->partial_line.erase(0, end + 2);
      state_->Receive(*control_, line);
    }
    return Status::Ok();
  }

  void ShutdownWrite() override {}

 private:
  std::shared_ptr<FakeNetwork::State> state_;
  std::shared_ptr<ControlState> control_;
};

class DataStream final : public inet::Stream {
 public:
  DataStream(std::shared_ptr<FakeNetwork::State> state, std::shared_ptr<DataChannel> channel)
      : state_(std::move(state)), channel_(std::move(channel)) {}
  ~DataStream() override { state_->DataClosed(*channel_); }
  DataStream(const DataStream&) = delete;
  DataStream& operator=(const DataStream&) = delete;

  ReadResult ReadSome(void* buffer, std::size_t size, Milliseconds timeout) override {
    if (!channel_->script) return state_->Deliver(channel_->outgoing, 0, Milliseconds(0), buffer, size, timeout);
    const Delivery& delivery = channel_->script->data;
    return state_->Deliver(channel_->outgoing, delivery.piece, delivery.pause, buffer, size,
                           timeout);
  }

  Status WriteAll(const void* data, std::size_t size, Milliseconds) override {
    channel_->received.append(static_cast<const char*>(data), size);
    return Status::Ok();
  }

  void ShutdownWrite() override {}

 private:
  std::shared_ptr<FakeNetwork::State> state_;
  std::shared_ptr<DataChannel> channel_;
};

class Listener final : public inet::DataListener {
 public:
  Listener(std::shared_ptr<FakeNetwork::State> state, SocketAddress address)
      : state_(std::move(state)), address_(address) {}

  const SocketAddress& address() const override { return address_; }

  ConnectedStream Accept(Milliseconds timeout) override {
    if (state_->incoming.empty()) {
      state_->now += timeout;
      return {Status(win32::ERROR_INTERNET_TIMEOUT), nullptr, {}, {}};
    }
    ConnectedStream next = std::move(state_->incoming.front());
    state_->incoming.pop_front();
    return next;
  }

 private:
  std::shared_ptr<FakeNetwork::State> state_;
  SocketAddress address_;
};

}  // namespace

ConnectedStream FakeNetwork::State::Accepted(std::shared_ptr<DataChannel> channel,
                                             const std::string& peer) {
  data.push_back(channel);
  return {Status::Ok(), std::make_unique<DataStream>(self(), std::move(channel)),
          NumericAddress("127.0.0.1", kEngineDataPort), NumericAddress(peer, kServerDataPort)};
}

FakeNetwork::FakeNetwork() : state_(std::make_shared<State>()) {
  state_->shared_self = state_;
  const auto reply = [this](const std::string& verb, std::string bytes) {
    state_->answers[verb] = Answer{std::move(bytes), StreamEnd::Silent, std::nullopt};
  };
  reply("USER", "331 Password required.\r\n");
  reply("PASS", "230 Logged in.\r\n");
  reply("FEAT", "211-Features:\r\n SIZE\r\n211 End\r\n");
  reply("TYPE", "200 Type set.\r\n");
  reply("MODE", "200 Mode set.\r\n");
  reply("EPRT", "200 EPRT command successful.\r\n");
  reply("PORT", "200 PORT command successful.\r\n");
  reply("EPSV", "229 Entering Extended Passive Mode (|||50000|)\r\n");
  reply("PASV", "227 Entering Passive Mode (127,0,0,1,195,80)\r\n");
  reply("CWD", "250 Directory changed.\r\n");
  reply("DELE", "250 File removed.\r\n");
  reply("RMD", "250 Directory removed.\r\n");
  reply("RNFR", "350 Ready for destination name.\r\n");
  reply("RNTO", "250 Renamed.\r\n");
  reply("MKD", "257 \"/new\" created.\r\n");
  reply("PWD", "257 \"/\" is the current directory.\r\n");
  reply("NOOP", "200 NOOP ok.\r\n");
  reply("ABOR", "225 ABOR command successful.\r\n");
  reply("QUIT", "221 Goodbye.\r\n");
  for (const char* verb : {"LIST", "NLST", "MLSD", "RETR", "STOR"}) {
    Answer& answer = state_->answers[verb];
    answer.transfer.emplace();
  }
}

FakeNetwork::~FakeNetwork() {
  // Connections never accepted hold the state; let them go.
  const std::deque<ConnectedStream> unaccepted = std::move(state_->incoming);
}

void FakeNetwork::Greeting(std::string bytes) { state_->greeting = std::move(bytes); }

void FakeNetwork::On(const std::string& verb, std::string bytes, StreamEnd then) {
  state_->answers[verb] = Answer{std::move(bytes), then, std::nullopt};
}

void FakeNetwork::OnTransfer(const std::string& verb, TransferScript script) {
  state_->answers[verb] = Answer{"", StreamEnd::Silent, std::move(script)};
}

void FakeNetwork::ControlPieces(std::size_t piece, Milliseconds pause) {
  state_->control_piece = piece;
  state_->control_pause = pause;
}

void FakeNetwork::RefuseDataConnections(std::uint32_t error) { state_->data_refusal = error; }

void FakeNetwork::IntruderBeforeServer(std::string address) { state_->intruder = std::move(address); }

std::vector<std::string> FakeNetwork::commands() const { return state_->commands; }

std::vector<std::string> FakeNetwork::uploads() const {
  std::vector<std::string> received;
  for (const auto& channel : state_->data) received.push_back(channel->received);
  return received;
}

int FakeNetwork::data_connections() const { return static_cast<int>(state_->data.size()); }

void FakeNetwork::Advance(Milliseconds time) { state_->now += time; }

void FakeNetwork::SetLocalNow(const inet::CivilTime& time) { state_->local = time; }

std::chrono::steady_clock::time_point FakeNetwork::Now() const { return state_->now; }

inet::CivilTime FakeNetwork::LocalNow() const { return state_->local; }

ConnectedStream FakeNetwork::Connect(const std::string&, std::uint16_t,
                                     const std::optional<inet::ProxySettings>&, Milliseconds) {
  state_->control = std::make_shared<ControlState>();
  state_->control->outgoing.bytes = state_->greeting;
  return {Status::Ok(), std::make_unique<ControlStream>(state_, state_->control),
          NumericAddress("127.0.0.1", kEngineControlPort),
          NumericAddress("127.0.0.1", kControlPort)};
}

ConnectedStream FakeNetwork::Connect(const SocketAddress& address, Milliseconds) {
  if (state_->data_refusal) return {Status(*state_->data_refusal), nullptr, {}, {}};
  auto channel = std::make_shared<DataChannel>();
  state_->data.push_back(channel);
  if (state_->awaiting && state_->control) {
    state_->Start(*state_->control, *channel, *state_->awaiting);
    state_->awaiting.reset();
  } else {
    state_->connected_data = channel;
  }
  return {Status::Ok(), std::make_unique<DataStream>(state_, std::move(channel)),
          NumericAddress("127.0.0.1", kEngineDataPort), address};
}

inet::Status FakeNetwork::Listen(const SocketAddress& address,
                                 std::unique_ptr<inet::DataListener>& listener) {
  SocketAddress listening = address;
  listening.set_port(state_->next_port++);
  state_->listening = true;
  listener = std::make_unique<Listener>(state_, listening);
  return Status::Ok();
}

}  // namespace orvex::testing
