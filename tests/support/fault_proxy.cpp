#include "tests/support/fault_proxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/socket_util.h"

namespace orvex::testing {
namespace {

// How often idle loops look at their flags: the delay a fault takes at most.
constexpr std::chrono::milliseconds kTick{10};

enum class Fault { None, Close, Reset };

struct Link {
  int client = -1;
  int server = -1;
  std::atomic<Fault> fault{Fault::None};
  std::atomic<unsigned long> turns{0};  // loop passes, to know a flag was seen
  bool done = false;  // guarded by State::mutex
  std::thread thread;
};

void Abort(int descriptor) {
  linger option{1, 0};  // close now and send RST instead of FIN
  ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

}  // namespace

struct FaultProxy::State {
  std::string host = "127.0.0.1";
  std::string target_host;
  std::uint16_t target_port = 0;
  // From connection number `later_from` on (counted from 1), the target is
  // `later_port`; 0: no such switch.
  int later_from = 0;
  std::uint16_t later_port = 0;
  std::uint16_t port = 0;
  int listener = -1;
  std::atomic<bool> stopping{false};
  std::atomic<bool> stalled{false};
  std::atomic<bool> refusing{false};
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::list<Link> links;  // stable addresses for the link threads
  int accepted = 0;
  int open = 0;
  std::thread acceptor;

  void AcceptLoop();
  void Forward(Link& link);
  void FaultAll(Fault fault);
};

void FaultProxy::State::AcceptLoop() {
  while (!stopping) {
    int client = AcceptWithin(listener, std::chrono::milliseconds(50));
    if (client < 0) continue;
    std::lock_guard lock(mutex);
    ++accepted;
    changed.notify_all();
    if (refusing) {
      ::close(client);
      continue;
    }
    const std::uint16_t to = later_from > 0 && accepted >= later_from ? later_port : target_port;
    int server = ConnectLoopback(to, std::chrono::milliseconds(2000));
    if (server < 0) {  // target gone: the client sees the door shut at once
      ::close(client);
      continue;
    }
    Link& link = links.emplace_back();
    link.client = client;
    link.server = server;
    ++open;
    link.thread = std::thread([this, &link] { Forward(link); });
  }
}

void FaultProxy::State::Forward(Link& link) {
  bool client_open = true;  // still reading from the client
  bool server_open = true;
  char buffer[16384];
  while (client_open || server_open) {
    ++link.turns;
    Fault fault = link.fault.load();
    if (stopping && fault == Fault::None) fault = Fault::Close;
    if (fault == Fault::Reset) {
      Abort(link.client);
      Abort(link.server);
      break;
    }
    if (fault == Fault::Close) {
      ::shutdown(link.client, SHUT_RDWR);
      ::shutdown(link.server, SHUT_RDWR);
      break;
    }
    if (stalled) {
      std::this_thread::sleep_for(kTick);
      continue;
    }
    pollfd entries[2] = {{link.client, static_cast<short>(client_open ? POLLIN : 0), 0},
                         {link.server, static_cast<short>(server_open ? POLLIN : 0), 0}};
    if (::poll(entries, 2, static_cast<int>(kTick.count())) <= 0) continue;
    for (int side = 0; side < 2; ++side) {
      if (!(entries[side].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const int from = side == 0 ? link.client : link.server;
      const int to = side == 0 ? link.server : link.client;
      bool& open_flag = side == 0 ? client_open : server_open;
      ssize_t received = ::recv(from, buffer, sizeof buffer, 0);
      if (received > 0) {
        if (!SendAll(to, std::string_view(buffer, static_cast<size_t>(received)))) {
          client_open = server_open = false;
        }
      } else if (received == 0) {
        open_flag = false;
        ::shutdown(to, SHUT_WR);  // pass the half-close on
      } else {
        // A reset on one side is passed on as a reset to the other.
        Abort(to);
        client_open = server_open = false;
      }
    }
  }
  ::close(link.client);
  ::close(link.server);
  std::lock_guard lock(mutex);
  link.done = true;
  --open;
  changed.notify_all();
}

void FaultProxy::State::FaultAll(Fault fault) {
  std::unique_lock lock(mutex);
  std::vector<Link*> targets;
  for (Link& link : links) {
    if (!link.done) {
      link.fault = fault;
      targets.push_back(&link);
    }
  }
  // Return only once every connection is really broken, so the caller's next
  // step meets the fault deterministically.
  changed.wait_for(lock, std::chrono::seconds(5), [&] {
    for (Link* link : targets) {
      if (!link->done) return false;
    }
    return true;
  });
}

FaultProxy::FaultProxy(std::string target_host, std::uint16_t target_port)
    : state_(std::make_unique<State>()) {
  if (target_host != "127.0.0.1" && target_host != "localhost") {
    throw std::runtime_error("FaultProxy: only loopback targets (127.0.0.1) are supported");
  }
  state_->target_host = std::move(target_host);
  state_->target_port = target_port;
  state_->listener = ListenLoopback(0, &state_->port);
  if (state_->listener < 0) throw std::runtime_error("FaultProxy: cannot listen");
  state_->acceptor = std::thread([state = state_.get()] { state->AcceptLoop(); });
}

FaultProxy::~FaultProxy() {
  state_->stopping = true;
  state_->stalled = false;
  state_->acceptor.join();
  for (Link& link : state_->links) link.thread.join();
  ::close(state_->listener);
}

const std::string& FaultProxy::host() const { return state_->host; }
std::uint16_t FaultProxy::port() const { return state_->port; }
void FaultProxy::SendLaterConnectionsTo(int from, std::uint16_t port) {
  std::lock_guard lock(state_->mutex);
  state_->later_from = from;
  state_->later_port = port;
}

void FaultProxy::CloseAll() { state_->FaultAll(Fault::Close); }
void FaultProxy::ResetAll() { state_->FaultAll(Fault::Reset); }
void FaultProxy::Stall() {
  state_->stalled = true;
  // Return only once every forwarding loop has started a pass that sees the
  // flag: from then on not one byte moves.
  std::vector<std::pair<Link*, unsigned long>> seen;
  {
    std::lock_guard lock(state_->mutex);
    for (Link& link : state_->links) seen.emplace_back(&link, link.turns.load());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (auto& [link, turns] : seen) {
    while (link->turns.load() <= turns && std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(state_->mutex);
        if (link->done) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}
void FaultProxy::Resume() { state_->stalled = false; }
void FaultProxy::RefuseNew(bool refuse) { state_->refusing = refuse; }

int FaultProxy::accepted_connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->accepted;
}

int FaultProxy::open_connections() const {
  std::lock_guard lock(state_->mutex);
  return state_->open;
}

bool FaultProxy::WaitForAccepted(int count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->accepted >= count; });
}

}  // namespace orvex::testing
