// Creating, configuring and connecting the plug-in for one command.

#include "host/cli/remote_session.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "host/cli/netrc.h"
#include "platform/error.h"

namespace orvex::cli {
namespace {

// Anything but the host's "ask the user" value: a command-line run never
// waits for a dialog.
constexpr std::int32_t kConnectWithoutAsking = 0;

bool IsPortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const int value = std::stoi(text);
  return value >= 1 && value <= 65535;
}

template <class Item>
std::vector<com::ComPtr<Item>> ItemsOf(const script::Collection& collection) {
  std::vector<com::ComPtr<Item>> items;
  for (std::int32_t position = 1; position <= collection.Count(); ++position) {
    auto item = collection.Item(position).AsInterface<Item>();
    if (!item) continue;
    const std::string name = item->Name();
    // Some servers list the navigation folders; they are never items.
    if (name == "." || name == ".." || name.empty()) continue;
    items.push_back(item);
  }
  return items;
}

}  // namespace

const std::vector<OptionSpec>& ConnectionOptionSpecs() {
  static const std::vector<OptionSpec> specs = {
      {"--user", true},      {"--password-stdin", false}, {"--anonymous", false},
      {"--port", true},      {"--proxy", true},           {"--no-cache", false},
      {"--ascii", false},    {"--no-temp-copy", false},   {"--skip-nav", false},
      {"--tls", false},      {"--cacert", true},          {"--fingerprint", true},
      {"--insecure", false},
  };
  return specs;
}

std::optional<ConnectionOptions> ReadConnectionOptions(const ParsedArguments& arguments, std::string& error) {
  ConnectionOptions options;
  options.user = arguments.Value("--user");
  options.password_from_input = arguments.Has("--password-stdin");
  options.anonymous = arguments.Has("--anonymous");
  options.port = arguments.Value("--port");
  options.proxy = arguments.Value("--proxy");
  options.no_cache = arguments.Has("--no-cache");
  options.ascii = arguments.Has("--ascii");
  options.no_temp_copy = arguments.Has("--no-temp-copy");
  options.skip_navigation = arguments.Has("--skip-nav");
  options.tls = arguments.Has("--tls");
  options.ca_file = arguments.Value("--cacert");
  options.fingerprint = arguments.Value("--fingerprint");
  options.insecure = arguments.Has("--insecure");
  if (options.ca_file && ::access(options.ca_file->c_str(), R_OK) != 0) {
    error = "--cacert: cannot read " + *options.ca_file;
    return std::nullopt;
  }
  if (options.insecure && options.fingerprint) {
    error = "--insecure does not go with --fingerprint (a pinned certificate is always checked)";
    return std::nullopt;
  }
  if (options.port && !IsPortNumber(*options.port)) {
    error = "--port needs a number from 1 to 65535";
    return std::nullopt;
  }
  if (options.proxy) {
    const auto colon = options.proxy->rfind(':');
    if (colon == std::string::npos || colon == 0 || !IsPortNumber(options.proxy->substr(colon + 1))) {
      error = "--proxy needs HOST:PORT (optionally http:// or socks5:// in front)";
      return std::nullopt;
    }
  }
  if (options.anonymous && (options.user || options.password_from_input)) {
    error = "--anonymous does not go with --user or --password-stdin";
    return std::nullopt;
  }
  return options;
}

RemoteSession::RemoteSession(const RemoteUrl& location) : url_(location) {
  // These commands never show a window; without this the plug-in's pictures
  // would make Qt try (and complain about) a display that may not be there.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  plugin_ = loader_.CreateObject(kConnectionProgId);
  connection_ = plugin_.As<_Connection>();
  if (!connection_) Raise(error_number::kObjectRequired, "the plug-in does not offer its settings interface");
  security_ = plugin_.As<_ConnectionSecurity>();
  if (!security_) Raise(error_number::kObjectRequired, "the plug-in does not offer FTP over TLS");
  plugin_->iPC_Init(host_.plugin_interface(), "cli", url_.Location());
  location_ = plugin_->iPC_Location();
}

RemoteSession::~RemoteSession() {
  try {
    if (plugin_) plugin_->iPC_Disconnect();
  } catch (const std::exception&) {
    // Leaving anyway; the server ends an abandoned session itself.
  }
}

bool RemoteSession::Apply(const ConnectionOptions& options, std::istream& password_input, std::string& error) {
  _Connection& connection = *connection_;
  const std::string stored_user = connection.UserName();

  std::optional<std::string> user = options.user;
  if (!user && !url_.user.empty()) user = url_.user;
  std::optional<NetrcLogin> netrc;
  if (!options.anonymous && !options.password_from_input) netrc = ReadNetrcLogin(url_.host);
  if (!user && netrc && !netrc->login.empty()) user = netrc->login;

  if (options.anonymous) {
    connection.Anonymous(true);
  } else if (user) {
    connection.Anonymous(false);
    connection.UserName(*user);
    if (*user != stored_user) connection.Password("");
  }

  if (options.password_from_input) {
    std::string password;
    if (!std::getline(password_input, password)) {
      error = "--password-stdin: no password on standard input";
      return false;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    connection.Password(password);
  } else if (netrc && user && (netrc->login.empty() || netrc->login == *user)) {
    connection.Password(netrc->password);
  }

  // As ftp clients do: nobody named means an anonymous login.
  if (!connection.Anonymous() && connection.UserName().empty()) connection.Anonymous(true);

  if (!url_.port.empty()) {
    if (options.port && *options.port != url_.port) {
      error = "--port " + *options.port + " contradicts the port " + url_.port + " in the URL";
      return false;
    }
    // The engine takes the port from the server name when none is set.
    connection.Port("");
  } else if (options.port) {
    connection.Port(*options.port);
  }

  if (options.proxy) {
    const auto colon = options.proxy->rfind(':');
    connection.UseProxy(true);
    connection.ProxyName(options.proxy->substr(0, colon));
    connection.ProxyPort(options.proxy->substr(colon + 1));
  }
  if (options.no_cache) connection.ClearCacheOnConnect(true);
  if (options.ascii) connection.EnableAscii(true);
  if (options.no_temp_copy) connection.UseTempCopy(false);
  if (options.skip_navigation) connection.SkipServUNavigationFolders(true);

  if (url_.encryption == UrlEncryption::Implicit && options.tls) {
    error = "--tls (explicit TLS) contradicts ftps:// (implicit TLS); use ftpes:// or ftp:// with --tls";
    return false;
  }
  if (url_.encryption == UrlEncryption::Implicit) {
    security_->Encryption(_ConnectionSecurity::kEncryptionImplicit);
    // ftps:// without a port is port 990, whatever port is stored for plain FTP.
    if (url_.port.empty() && !options.port) connection.Port("");
  } else if (url_.encryption == UrlEncryption::Explicit || options.tls) {
    security_->Encryption(_ConnectionSecurity::kEncryptionExplicit);
  }
  if (security_->Encryption() != _ConnectionSecurity::kEncryptionNone) {
    if (options.ca_file) security_->CertificateAuthorityFile(*options.ca_file);
    if (options.fingerprint) security_->CertificateFingerprint(*options.fingerprint);
    if (options.insecure) {
      security_->VerifyCertificates(false);
      security_->CertificateFingerprint("");
      std::cerr << "orvex: warning: --insecure: the server's certificate is not checked; anyone on the "
                   "way can read and change what is sent, password included\n";
    }
  }
  return true;
}

bool RemoteSession::Connect() { return plugin_->iPC_Connect(kConnectWithoutAsking); }

std::string RemoteSession::LastError() { return plugin_->iPC_Properties()->LastError(); }

std::string RemoteSession::PathOf(const std::vector<std::string>& names) const {
  std::string path = location_;
  for (const auto& name : names) path += "\\" + name;
  return path;
}

std::optional<RemoteListing> RemoteSession::List(const std::string& folder_path) {
  auto folders = plugin_->iPC_GetFolders(folder_path);
  if (!folders) return std::nullopt;
  auto files = plugin_->iPC_GetFiles(folder_path);
  if (!files) return std::nullopt;
  return RemoteListing{ItemsOf<HostFolder>(*folders), ItemsOf<HostFile>(*files)};
}

}  // namespace orvex::cli
