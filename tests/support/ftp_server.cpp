#include "tests/support/ftp_server.h"

#include <crypt.h>
#include <pwd.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/free_port.h"
#include "tests/support/socket_util.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

namespace orvex::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";  // the one with pyftpdlib

fs::path ServersFolder() {
  const char* configured = std::getenv("ORVEX_SERVERS_DIR");
  return configured && *configured ? fs::path(configured) : fs::path("/opt/orvex/servers");
}

fs::path Program(ServerKind kind) {
  switch (kind) {
    case ServerKind::Pyftpdlib: return kPython;
    case ServerKind::Vsftpd: return ServersFolder() / "vsftpd/usr/sbin/vsftpd";
    case ServerKind::PureFtpd: return ServersFolder() / "pure-ftpd/usr/sbin/pure-ftpd";
    case ServerKind::Proftpd: return ServersFolder() / "proftpd/usr/sbin/proftpd";
  }
  return {};
}

bool Executable(const fs::path& path) { return ::access(path.c_str(), X_OK) == 0; }

std::string RandomText(size_t length) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device seed;
  std::mt19937 generator(seed());
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  std::string text;
  for (size_t i = 0; i < length; ++i) text += kLetters[pick(generator)];
  return text;
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("FtpServer: cannot write " + path.string());
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a helper program to completion; its output goes to the server's log.
void RunQuietly(const std::string& command_line, const std::string& what) {
  if (std::system(command_line.c_str()) != 0) {
    throw std::runtime_error("FtpServer: " + what + " failed: " + command_line);
  }
}

// SHA-512 crypt, which pure-ftpd and proftpd check in microseconds (pure-pw's
// own default, argon2, costs seconds per login).
std::string Sha512Crypt(const std::string& password) {
  const std::string salt = "$6$" + RandomText(16) + "$";
  crypt_data data{};
  const char* hash = ::crypt_r(password.c_str(), salt.c_str(), &data);
  if (hash == nullptr || hash[0] == '*') throw std::runtime_error("FtpServer: crypt failed");
  return hash;
}

// The unprivileged account the servers write files as.
struct Account {
  uid_t uid = 65534;
  gid_t gid = 65534;
};

// vsftpd enters the home folder of the account a login maps to before it
// moves to the root we give it, and nobody's home does not exist; "bin" is an
// unprivileged account whose home does.
Account ServerAccount(ServerKind kind) {
  Account account;
  if (const passwd* entry = ::getpwnam(kind == ServerKind::Vsftpd ? "bin" : "nobody")) {
    account.uid = entry->pw_uid;
    account.gid = entry->pw_gid;
  }
  return account;
}

}  // namespace

const char* ServerKindName(ServerKind kind) {
  switch (kind) {
    case ServerKind::Pyftpdlib: return "pyftpdlib";
    case ServerKind::Vsftpd: return "vsftpd";
    case ServerKind::PureFtpd: return "pure-ftpd";
    case ServerKind::Proftpd: return "proftpd";
  }
  return "?";
}

std::string ServerTestName(ServerKind kind) {
  std::string name = ServerKindName(kind);
  std::erase(name, '-');
  return name;
}

bool ServerSupports(ServerKind kind, ServerTls tls) {
  if (tls != ServerTls::Implicit) return true;
  return kind == ServerKind::Vsftpd || kind == ServerKind::Proftpd;
}

std::vector<ServerKind> AllServerKinds() {
  return {ServerKind::Pyftpdlib, ServerKind::Vsftpd, ServerKind::PureFtpd, ServerKind::Proftpd};
}

bool ServerAvailable(ServerKind kind) {
  switch (kind) {
    case ServerKind::Pyftpdlib:
      return Executable(kPython) &&
             std::system("/usr/bin/python3 -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
    case ServerKind::Vsftpd:
      // Logins go through a PAM service file of our own in /etc/pam.d.
      return Executable(Program(kind)) && ::geteuid() == 0 && ::access("/etc/pam.d", W_OK) == 0;
    case ServerKind::PureFtpd:
      return Executable(Program(kind)) && Executable(ServersFolder() / "pure-ftpd/usr/bin/pure-pw") &&
             ::geteuid() == 0;
    case ServerKind::Proftpd:
      return Executable(Program(kind)) && ::geteuid() == 0;
  }
  return false;
}

struct FtpServer::State {
  ServerKind kind;
  FtpServerOptions options;
  PortBlock ports;
  TempDir work{"orvex-ftpd"};
  std::optional<TempDir> owned_root;
  fs::path root;
  std::string host = "127.0.0.1";
  std::string user = "u" + RandomText(9);
  std::string password = RandomText(20);
  Account account;
  fs::path log;
  fs::path pam_file;
  std::vector<std::string> arguments;
  ChildProcess process;
  std::chrono::milliseconds startup_time{0};

  ~State() {
    process.Stop();
    std::error_code ignored;
    if (!pam_file.empty()) fs::remove(pam_file, ignored);
  }

  std::string Port() const { return std::to_string(ports.first()); }
  std::string IdleSeconds() const { return std::to_string(options.idle_timeout.count()); }
  std::string MaxClients() const {
    return std::to_string(options.max_connections > 0 ? options.max_connections : 60);
  }

  void Own(const fs::path& path) const {
    if (::lchown(path.c_str(), account.uid, account.gid) != 0 && ::geteuid() == 0) {
      throw std::runtime_error("FtpServer: cannot hand over " + path.string());
    }
  }

  void Configure();
  void ConfigurePyftpdlib();
  void ConfigureVsftpd();
  void ConfigurePureFtpd();
  void ConfigureProftpd();
  void Launch();
};

void FtpServer::State::Configure() {
  // Work folder: configuration, logs, login files. Root-owned, world-readable
  // (servers read parts of it after dropping privileges), never writable by them.
  fs::permissions(work.path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  log = work.path() / "server.log";
  if (options.root.empty()) {
    owned_root.emplace("orvex-ftp-root");
    root = owned_root->path();
  } else {
    root = fs::absolute(options.root);
    fs::create_directories(root);
  }
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  Own(root);
  if (options.tls != ServerTls::None && options.certificate.empty()) {
    options.certificate = Certificates().server.certificate;
    options.key = Certificates().server.key;
  }
  if (!ServerSupports(kind, options.tls)) {
    throw std::runtime_error(std::string("FtpServer: ") + ServerKindName(kind) +
                             " has no implicit TLS");
  }
  switch (kind) {
    case ServerKind::Pyftpdlib: ConfigurePyftpdlib(); break;
    case ServerKind::Vsftpd: ConfigureVsftpd(); break;
    case ServerKind::PureFtpd: ConfigurePureFtpd(); break;
    case ServerKind::Proftpd: ConfigureProftpd(); break;
  }
}

void FtpServer::State::ConfigurePyftpdlib() {
  const fs::path script = work.path() / "server.py";
  WriteText(script, R"(import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
host, port, first, last, user, password, root, anonymous, idle, certificate, key = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
if anonymous == "1":
    authorizer.add_anonymous(root)
handler = FTPHandler
if certificate:
    from pyftpdlib.handlers import TLS_FTPHandler
    handler = TLS_FTPHandler
    handler.certfile = certificate
    handler.keyfile = key
    handler.tls_control_required = True
    handler.tls_data_required = True
handler.authorizer = authorizer
handler.passive_ports = range(int(first), int(last) + 1)
handler.banner = "pyftpdlib ready"
if int(idle) > 0:
    handler.timeout = int(idle)
server = FTPServer((host, int(port)), handler)
server.max_cons = 64
# Without a poll timeout the idle timer is never looked at while no client
# talks, and an idle session is never cut.
server.serve_forever(timeout=0.2)
)");
  arguments = {kPython,
               script.string(),
               host,
               Port(),
               std::to_string(ports.second()),
               std::to_string(ports.last()),
               user,
               password,
               root.string(),
               options.allow_anonymous ? "1" : "0",
               IdleSeconds(),
               options.tls != ServerTls::None ? options.certificate.string() : "",
               options.key.string()};
}

void FtpServer::State::ConfigureVsftpd() {
  // vsftpd checks passwords only through PAM: a service file of our own that
  // reads a one-user Berkeley DB, the login then mapped to the server account.
  const fs::path database = work.path() / "users";
  RunQuietly(std::string(kPython) +
                 " -c 'import dbm.ndbm, sys; d = dbm.ndbm.open(sys.argv[1], \"n\"); "
                 "d[sys.argv[2]] = sys.argv[3]; d.close()' " +
                 database.string() + " " + user + " " + password,
             "writing the vsftpd login database");
  pam_file = fs::path("/etc/pam.d") / ("orvex-ftp-" + Port());
  WriteText(pam_file, "auth required pam_userdb.so db=" + database.string() +
                          "\naccount required pam_permit.so\nsession required pam_permit.so\n");
  // vsftpd wants an empty folder owned by root to lock its helper processes in.
  const fs::path empty = work.path() / "empty";
  fs::create_directories(empty);
  const passwd* owner = ::getpwuid(account.uid);
  const std::string account_name = owner ? owner->pw_name : "nobody";
  std::string config =
      "listen=YES\nlisten_ipv6=NO\nlisten_address=" + host + "\nlisten_port=" + Port() +
      "\nbackground=NO\n"
      "pasv_enable=YES\npasv_min_port=" + std::to_string(ports.second()) +
      "\npasv_max_port=" + std::to_string(ports.last()) +
      "\nsecure_chroot_dir=" + empty.string() +
      "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
      "allow_writeable_chroot=YES\nutf8_filesystem=YES\n"
      "local_enable=YES\nwrite_enable=YES\nlocal_umask=022\n"
      "guest_enable=YES\nguest_username=" + account_name +
      "\nvirtual_use_local_privs=YES\n"
      "local_root=" + root.string() + "\nchroot_local_user=YES\n"

      "pam_service_name=orvex-ftp-" + Port() + "\n"
      "nopriv_user=" + account_name + "\n"
      "check_shell=NO\nuserlist_enable=NO\ntcp_wrappers=NO\n"
      "xferlog_enable=NO\nsyslog_enable=NO\nvsftpd_log_file=" + log.string() + "\n"
      "max_clients=" + MaxClients() + "\nmax_per_ip=" + MaxClients() + "\n";
  if (options.allow_anonymous) {
    // Anonymous sessions run as an account that cannot write the root
    // (vsftpd refuses a writable anonymous root).
    config += "anonymous_enable=YES\nno_anon_password=YES\nftp_username=daemon\nanon_root=" +
              root.string() + "\nanon_upload_enable=NO\nanon_mkdir_write_enable=NO\n";
  } else {
    config += "anonymous_enable=NO\n";
  }
  if (options.idle_timeout.count() > 0) config += "idle_session_timeout=" + IdleSeconds() + "\n";
  if (options.list_local_times) config += "use_localtime=YES\n";
  if (options.tls != ServerTls::None) {
    // TLS required for logins and data; data connections must resume the
    // control connection's session (vsftpd's default, spelled out).
    config += "ssl_enable=YES\nrsa_cert_file=" + options.certificate.string() +
              "\nrsa_private_key_file=" + options.key.string() +
              "\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES\n"
              "allow_anon_ssl=YES\n";
    if (options.tls == ServerTls::Implicit) config += "implicit_ssl=YES\n";
  }
  const fs::path config_file = work.path() / "vsftpd.conf";
  WriteText(config_file, config);
  arguments = {Program(kind).string(), config_file.string()};
}

void FtpServer::State::ConfigurePureFtpd() {
  // pure-ftpd's user file: account:hash:uid:gid:gecos:home and twelve empty
  // fields; "/./" at the end of the home locks the user in it.
  const fs::path passwd_file = work.path() / "pureftpd.passwd";
  const fs::path database = work.path() / "pureftpd.pdb";
  WriteText(passwd_file, user + ":" + Sha512Crypt(password) + ":" + std::to_string(account.uid) +
                             ":" + std::to_string(account.gid) + "::" + root.string() +
                             "/./::::::::::::\n");
  RunQuietly((ServersFolder() / "pure-ftpd/usr/bin/pure-pw").string() + " mkdb " +
                 database.string() + " -f " + passwd_file.string() + " >>" + log.string() +
                 " 2>&1",
             "pure-pw mkdb");
  const int idle_minutes = static_cast<int>((options.idle_timeout.count() + 59) / 60);
  arguments = {Program(kind).string(),
               "-S", host + "," + Port(),
               "-p", std::to_string(ports.second()) + ":" + std::to_string(ports.last()),
               "-l", "puredb:" + database.string(),
               // Anonymous logins would need a system account named "ftp".
               "-E",
               "-A",
               "-H",
               // The default caps listings at 2,000 entries and still says success.
               "-L", "10000000:16",
               // At most half the passive ports.
               "-c", "30", "-C", "30"};
  if (options.tls != ServerTls::None) {
    // TLS required for logins and data.
    arguments.insert(arguments.end(), {"-Y", "3", "-2",
                                       options.certificate.string() + "," + options.key.string()});
  }
  if (idle_minutes > 0) {
    arguments.push_back("-I");
    arguments.push_back(std::to_string(idle_minutes));
  }
}

void FtpServer::State::ConfigureProftpd() {
  const passwd* owner = ::getpwuid(account.uid);
  const group* owner_group = ::getgrgid(account.gid);
  const std::string account_name = owner ? owner->pw_name : "nobody";
  const std::string group_name = owner_group ? owner_group->gr_name : "nogroup";
  const fs::path users = work.path() / "passwd";
  const fs::path groups = work.path() / "group";
  std::string user_lines = user + ":" + Sha512Crypt(password) + ":" + std::to_string(account.uid) +
                           ":" + std::to_string(account.gid) + "::" + root.string() + ":/bin/sh\n";
  std::string group_lines = group_name + ":x:" + std::to_string(account.gid) + ":\n";
  std::string config =
      "ServerType standalone\nServerName \"proftpd\"\nDefaultServer on\n"
      "Port " + Port() + "\nDefaultAddress " + host + "\nSocketBindTight on\nUseIPv6 off\n"
      "PassivePorts " + std::to_string(ports.second()) + " " + std::to_string(ports.last()) + "\n"
      "MaxInstances 60\nUser " + account_name + "\nGroup " + group_name + "\n"
      "Umask 022\nAllowOverwrite on\n"
      "PidFile " + (work.path() / "proftpd.pid").string() + "\n"
      "ScoreboardFile " + (work.path() / "proftpd.scoreboard").string() + "\n"
      "DelayTable none\nWtmpLog off\nUseReverseDNS off\nControlsEngine off\n"
      "AuthPAM off\nAuthOrder mod_auth_file.c\n"
      "AuthUserFile " + users.string() + "\nAuthGroupFile " + groups.string() + "\n"
      "RequireValidShell off\nDefaultRoot ~\n"
      "SystemLog " + log.string() + "\nTransferLog none\n";
  if (options.idle_timeout.count() > 0) config += "TimeoutIdle " + IdleSeconds() + "\n";
  if (options.list_local_times) config += "FactsAdvertise off\nTimesGMT off\n";
  if (options.tls != ServerTls::None) {
    // mod_tls from proftpd-mod-crypto, unpacked beside the server; session
    // reuse on data connections is required unless TLSOptions says otherwise.
    config += "ModulePath " + (ServersFolder() / "proftpd/usr/lib/proftpd").string() +
              "\nLoadModule mod_tls.c\n"
              "TLSEngine on\nTLSRequired on\nTLSProtocol TLSv1.2 TLSv1.3\n"
              "TLSRSACertificateFile " + options.certificate.string() +
              "\nTLSRSACertificateKeyFile " + options.key.string() +
              "\nTLSVerifyClient off\nTLSRenegotiate none\n"
              "TLSLog " + (work.path() / "tls.log").string() + "\n";
    if (options.tls == ServerTls::Implicit) config += "TLSOptions UseImplicitSSL\n";
  }
  if (options.allow_anonymous) {
    // Anonymous sessions run as "daemon", which cannot write the root; they
    // may read and list only.
    user_lines += "ftp:*:1:1::" + root.string() + ":/usr/sbin/nologin\n";
    group_lines += "daemon:x:1:\n";
    config += "<Anonymous " + root.string() +
              ">\n  User ftp\n  Group daemon\n  UserAlias anonymous ftp\n"
              "  RequireValidShell off\n  <Limit WRITE>\n    DenyAll\n  </Limit>\n</Anonymous>\n";
  }
  WriteText(users, user_lines);
  WriteText(groups, group_lines);
  ::chmod(users.c_str(), 0600);
  const fs::path config_file = work.path() / "proftpd.conf";
  WriteText(config_file, config);
  arguments = {Program(kind).string(), "-n", "-c", config_file.string()};
}

void FtpServer::State::Launch() {
  const auto started = std::chrono::steady_clock::now();
  const auto deadline = started + options.start_timeout;
  std::vector<std::string> command = arguments;
  if (!options.time_zone.empty()) {
    command.insert(command.begin(), {"/usr/bin/env", "TZ=" + options.time_zone});
  }
  process.Start(command, log);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process.running()) break;
    int descriptor = ConnectLoopback(ports.first(), std::chrono::milliseconds(200));
    if (descriptor >= 0 && options.tls == ServerTls::Implicit) {
      // The greeting comes only through TLS; a listening port is ready enough
      // (each session is served by a process of its own).
      ::close(descriptor);
      startup_time = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - started);
      return;
    }
    if (descriptor >= 0) {
      std::string reply;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      bool greeted = ReadReply(descriptor, left, &reply) && reply.rfind("220", 0) == 0;
      // Say goodbye so a server that counts sessions is not left with a stray one.
      SendAll(descriptor, "QUIT\r\n");
      ::close(descriptor);
      if (greeted) {
        startup_time = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        return;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  process.Stop();
  throw std::runtime_error(std::string("FtpServer: ") + ServerKindName(kind) +
                           " did not greet on port " + Port() + "; its log:\n" + ReadText(log));
}

FtpServer::FtpServer(ServerKind kind, FtpServerOptions options) : state_(std::make_unique<State>()) {
  state_->kind = kind;
  state_->account = ServerAccount(kind);
  state_->options = std::move(options);
  state_->Configure();
  state_->Launch();
}

FtpServer::~FtpServer() = default;

const std::string& FtpServer::host() const { return state_->host; }
std::uint16_t FtpServer::port() const { return state_->ports.first(); }
const std::string& FtpServer::user() const { return state_->user; }
const std::string& FtpServer::password() const { return state_->password; }
const std::filesystem::path& FtpServer::root() const { return state_->root; }
ServerKind FtpServer::kind() const { return state_->kind; }
std::string FtpServer::name() const { return ServerKindName(state_->kind); }
std::uint16_t FtpServer::passive_port_first() const { return state_->ports.second(); }
std::uint16_t FtpServer::passive_port_last() const { return state_->ports.last(); }
std::chrono::milliseconds FtpServer::startup_time() const { return state_->startup_time; }

std::string FtpServer::url() const {
  return "ftp://" + user() + ":" + password() + "@" + host() + ":" + std::to_string(port()) + "/";
}

void FtpServer::Stop() {
  state_->process.Stop();
  // Sessions forked by the server die with it; wait until the port is shut.
  for (int attempt = 0; attempt < 100 && PortAnswers(port()); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void FtpServer::Restart() {
  Stop();
  state_->Launch();
}

bool FtpServer::running() const { return state_->process.running(); }

void FtpServer::WriteFile(const std::filesystem::path& relative, std::string_view content) {
  MakeFolder(relative.parent_path());
  const fs::path path = root() / relative;
  WriteText(path, std::string(content));
  ::chmod(path.c_str(), 0644);
  state_->Own(path);
}

void FtpServer::MakeFolder(const std::filesystem::path& relative) {
  fs::path path = root();
  for (const fs::path& part : relative) {
    if (part.empty() || part == ".") continue;
    path /= part;
    if (!fs::exists(path)) {
      fs::create_directory(path);
      ::chmod(path.c_str(), 0755);
      state_->Own(path);
    }
  }
}

void FtpServer::AdoptFiles() {
  state_->Own(root());
  for (const auto& entry : fs::recursive_directory_iterator(root())) state_->Own(entry.path());
}

std::string FtpServer::Log() const { return ReadText(state_->log); }

}  // namespace orvex::testing
