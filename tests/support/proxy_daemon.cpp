#include "tests/support/proxy_daemon.h"

#include <pwd.h>
#include <grp.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/free_port.h"
#include "tests/support/socket_util.h"
#include "tests/support/temp_dir.h"

namespace orvex::testing {
namespace {

constexpr const char* kMicrosocks = "/usr/bin/microsocks";
constexpr const char* kTinyproxy = "/usr/bin/tinyproxy";
constexpr std::chrono::seconds kStartTimeout{10};

}  // namespace

const char* ProxyKindName(ProxyKind kind) {
  return kind == ProxyKind::Socks5 ? "microsocks" : "tinyproxy";
}

bool ProxyAvailable(ProxyKind kind) {
  return ::access(kind == ProxyKind::Socks5 ? kMicrosocks : kTinyproxy, X_OK) == 0;
}

struct ProxyDaemon::State {
  ProxyKind kind;
  std::string host = "127.0.0.1";
  PortBlock ports;
  TempDir work{"orvex-proxy"};
  ChildProcess process;
  std::filesystem::path log;
};

ProxyDaemon::ProxyDaemon(ProxyKind kind) : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.kind = kind;
  state.log = state.work.path() / "proxy.log";
  const std::string port = std::to_string(state.ports.first());
  std::vector<std::string> arguments;
  if (kind == ProxyKind::Socks5) {
    arguments = {kMicrosocks, "-i", state.host, "-p", port};
  } else {
    // No ConnectPort line: CONNECT is allowed to every port (FTP control and
    // passive data ports alike). Listening and clients are loopback only.
    // Without a LogFile it logs to standard error, which is our log file.
    const passwd* account = ::getpwnam("nobody");
    const group* account_group = account ? ::getgrgid(account->pw_gid) : nullptr;
    std::string config = "Port " + port + "\nListen " + state.host +
                         "\nAllow 127.0.0.1\nTimeout 600\nMaxClients 100\nLogLevel Info\n"
                         "DisableViaHeader Yes\n";
    if (::geteuid() == 0) {
      config += std::string("User ") + (account ? account->pw_name : "nobody") + "\nGroup " +
                (account_group ? account_group->gr_name : "nogroup") + "\n";
    }
    const std::filesystem::path config_file = state.work.path() / "tinyproxy.conf";
    std::ofstream(config_file) << config;
    arguments = {kTinyproxy, "-d", "-c", config_file.string()};
  }
  state.process.Start(arguments, state.log);
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline && state.process.running()) {
    if (PortAnswers(state.ports.first())) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  state.process.Stop();
  throw std::runtime_error(std::string("ProxyDaemon: ") + ProxyKindName(kind) +
                           " did not start; its log:\n" + Log());
}

ProxyDaemon::~ProxyDaemon() = default;

ProxyKind ProxyDaemon::kind() const { return state_->kind; }
std::string ProxyDaemon::name() const { return ProxyKindName(state_->kind); }
const std::string& ProxyDaemon::host() const { return state_->host; }
std::uint16_t ProxyDaemon::port() const { return state_->ports.first(); }
std::string ProxyDaemon::address() const { return host() + ":" + std::to_string(port()); }
void ProxyDaemon::Stop() { state_->process.Stop(); }

std::string ProxyDaemon::Log() const {
  std::ifstream in(state_->log, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace orvex::testing
