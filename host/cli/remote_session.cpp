// Creating, configuring and connecting the plug-in for one command.

#include "host/cli/remote_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/cli/interrupts.h"
#include "host/cli/netrc.h"
#include "host/cli/terminal_input.h"
#include "platform/text/terminal_text.h"
#include "platform/error.h"

namespace orvex::cli {
namespace {

// Anything but the host's "ask the user" value: a command-line run never
// waits for a dialog.
constexpr std::int32_t kConnectWithoutAsking = 0;

// nullopt when the collection holds something that is not an item of the
// kind asked for: a listing that cannot be read whole is no listing, since a
// sync would take a missing entry for a deleted one.
template <class Item>
std::optional<std::vector<com::ComPtr<Item>>> ItemsOf(const script::Collection& collection) {
  std::vector<com::ComPtr<Item>> items;
  items.reserve(static_cast<std::size_t>(collection.Count()));
  for (std::int32_t position = 1; position <= collection.Count(); ++position) {
    auto item = collection.Item(position).AsInterface<Item>();
    if (!item) return std::nullopt;
    const std::string name = item->Name();
    // Some servers list the navigation folders; they are never items.
    if (name == "." || name == ".." || name.empty()) continue;
    items.push_back(item);
  }
  return items;
}

}  // namespace

bool IsZoneOffset(const std::string& text) {
  if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':') return false;
  for (std::size_t index : {1u, 2u, 4u, 5u}) {
    if (text[index] < '0' || text[index] > '9') return false;
  }
  const int hours = (text[1] - '0') * 10 + (text[2] - '0');
  const int minutes = (text[4] - '0') * 10 + (text[5] - '0');
  const int offset = (text[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
  return minutes < 60 && offset >= -12 * 60 && offset <= 14 * 60;
}

namespace {

std::string Lower(std::string text) {
  for (char& character : text) {
    if (character >= 'A' && character <= 'Z') character = static_cast<char>(character - 'A' + 'a');
  }
  return text;
}

// no_proxy as curl reads it: "*", or names compared without letter case,
// each matching the host itself and every name below it (".example.org"
// and "example.org" both match "ftp.example.org").
bool ExcludedFromProxy(const std::string& host, const std::string& list) {
  const std::string name = Lower(host);
  std::size_t start = 0;
  while (start <= list.size()) {
    const auto end = std::min(list.find(',', start), list.size());
    std::string entry = list.substr(start, end - start);
    start = end + 1;
    entry.erase(0, entry.find_first_not_of(" \t"));
    entry.erase(entry.find_last_not_of(" \t") + 1);
    if (entry.empty()) continue;
    if (entry == "*") return true;
    entry = Lower(entry);
    if (entry.front() == '.') entry.erase(0, 1);
    if (name == entry || (name.size() > entry.size() && name.ends_with("." + entry))) return true;
  }
  return false;
}

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// The engine's form of a proxy URL; nullopt with `error` set.
std::optional<std::string> NormaliseProxy(const std::string& text, const std::string& source, std::string& error) {
  std::string rest = text;
  std::string scheme = "http";
  if (const auto separator = rest.find("://"); separator != std::string::npos) {
    scheme = Lower(rest.substr(0, separator));
    rest = rest.substr(separator + 3);
  }
  if (scheme != "http" && scheme != "socks5" && scheme != "socks5h") {
    error = source + ": unsupported proxy scheme '" + scheme + "://' (supported: http://, socks5://, socks5h://)";
    return std::nullopt;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find('@') != std::string::npos) {
    error = source + ": a login for the proxy is not supported";
    return std::nullopt;
  }
  const auto colon = rest.rfind(':');
  if (colon == std::string::npos || colon == 0 || rest[colon - 1] == ':' || !IsPortNumber(rest.substr(colon + 1)) ||
      rest.find_first_of(" \t/") != std::string::npos ||
      std::any_of(rest.begin(), rest.end(), [](char character) {
        return static_cast<unsigned char>(character) < 0x20 || character == 0x7f;
      })) {
    error = source + " needs HOST:PORT (optionally http://, socks5:// or socks5h:// in front): " + text;
    return std::nullopt;
  }
  return (scheme == "http" ? std::string() : std::string("socks5://")) + rest;
}

}  // namespace

std::optional<std::optional<std::string>> ChooseProxy(const std::optional<std::string>& given,
                                                      bool ignore_environment, const std::string& host,
                                                      std::string& error, std::string* source) {
  if (given) {
    auto proxy = NormaliseProxy(*given, "--proxy", error);
    if (!proxy) return std::nullopt;
    if (source) *source = "--proxy";
    return std::optional<std::string>(*proxy);
  }
  if (ignore_environment) return std::optional<std::string>();
  for (const char* name : {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"}) {
    const char* value = Environment(name);
    if (!value) continue;
    const char* exceptions = Environment("no_proxy");
    if (!exceptions) exceptions = Environment("NO_PROXY");
    if (exceptions && ExcludedFromProxy(host, exceptions)) return std::optional<std::string>();
    auto proxy = NormaliseProxy(value, name, error);
    if (!proxy) return std::nullopt;
    if (source) *source = name;
    return std::optional<std::string>(*proxy);
  }
  return std::optional<std::string>();
}

std::optional<ConnectionOptions> ReadConnectionOptions(const ParsedArguments& arguments, const RemoteUrl& url,
                                                       std::string& error) {
  ConnectionOptions options;
  options.user = arguments.Value("--user");
  options.password_from_input = arguments.Has("--password-stdin");
  options.anonymous = arguments.Has("--anonymous");
  options.port = arguments.Value("--port");
  options.no_cache = arguments.Has("--no-cache");
  options.ascii = arguments.Has("--ascii");
  options.no_temp_copy = arguments.Has("--no-temp-copy");
  options.skip_navigation = arguments.Has("--skip-nav");
  options.verbose = arguments.Has("--verbose");
  options.no_proxy = arguments.Has("--no-proxy");
  options.server_time_offset = arguments.Value("--server-time-offset");
  if (options.server_time_offset && !IsZoneOffset(*options.server_time_offset)) {
    error = "--server-time-offset needs +HH:MM or -HH:MM, from -12:00 to +14:00";
    return std::nullopt;
  }
  options.tls = arguments.Has("--tls");
  options.ca_file = arguments.Value("--cacert");
  options.fingerprint = arguments.Value("--fingerprint");
  options.insecure = arguments.Has("--insecure");
  if (options.ca_file && ::access(options.ca_file->c_str(), R_OK) != 0) {
    error = "--cacert: cannot read " + *options.ca_file;
    return std::nullopt;
  }
  // A FIFO or a device would be read without end (or wait for ever).
  if (struct stat status {}; options.ca_file && (::stat(options.ca_file->c_str(), &status) != 0 ||
                                                  !S_ISREG(status.st_mode))) {
    error = "--cacert: " + *options.ca_file + " is not a regular file";
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
  if (arguments.Has("--proxy") && arguments.Has("--no-proxy")) {
    error = "--proxy does not go with --no-proxy";
    return std::nullopt;
  }
  const auto proxy =
      ChooseProxy(arguments.Value("--proxy"), arguments.Has("--no-proxy"), url.host, error, &options.proxy_source);
  if (!proxy) return std::nullopt;
  options.proxy = *proxy;
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

bool RemoteSession::Apply(ConnectionOptions& options, std::istream& password_input, std::string& error) {
  _Connection& connection = *connection_;
  const std::string stored_user = connection.UserName();

  std::optional<std::string> user = options.user;
  if (!user && !url_.user.empty()) user = url_.user;
  std::optional<NetrcLogin> netrc;
  if (!options.anonymous && !options.password_from_input) {
    std::string warning;
    netrc = ReadNetrcLogin(url_.host, warning);
    if (!warning.empty() && !options.warned) std::cerr << "orvex: " << text::TerminalSafe(warning) << "\n";
  }
  if (!user && netrc && !netrc->login.empty()) user = netrc->login;

  if (options.anonymous) {
    connection.Anonymous(true);
  } else if (user) {
    connection.Anonymous(false);
    connection.UserName(*user);
    if (*user != stored_user) connection.Password("");
  }

  if (!options.password && options.password_from_input) {
    std::optional<std::string> password;
    if (InputIsTerminal()) {
      options.password_prompted = true;
      password = ReadLineWithoutEcho(STDIN_FILENO, "Password: ");
    } else if (std::string line; std::getline(password_input, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      password = line;
    }
    if (!password) {
      error = "--password-stdin: no password on standard input";
      return false;
    }
    options.password = password;
  }
  if (options.password) {
    connection.Password(*options.password);
  } else if (netrc && user && (netrc->login.empty() || netrc->login == *user)) {
    connection.Password(netrc->password);
  } else if (user && !options.anonymous && connection.Password().empty() && InputIsTerminal()) {
    // As ftp, lftp and curl do: a named user and no password anywhere.
    options.password_prompted = true;
    options.password = PromptForPassword("Password for " + *user + "@" + url_.host + ": ");
    if (options.password) connection.Password(*options.password);
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
  } else if (options.no_proxy) {
    connection.UseProxy(false);  // also a proxy from the stored settings
  }
  if (options.no_cache) connection.ClearCacheOnConnect(true);
  if (options.ascii) connection.EnableAscii(true);
  if (options.no_temp_copy) connection.UseTempCopy(false);
  if (options.skip_navigation) connection.SkipServUNavigationFolders(true);
  if (options.server_time_offset) connection.ServerTimeOffset(*options.server_time_offset);

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
    if (options.fingerprint) {
      // A mistyped pin must not reach the server: it is a wrong command line.
      if (options.fingerprint->empty()) {
        error = "--fingerprint needs SHA256: and the certificate's 64 hex digits";
        return false;
      }
      try {
        security_->CertificateFingerprint(*options.fingerprint);
      } catch (const Error& refused) {
        error = "--fingerprint: " + refused.description();
        return false;
      }
    }
    if (options.insecure) {
      security_->VerifyCertificates(false);
      security_->CertificateFingerprint("");
      if (!options.warned) std::cerr << "orvex: warning: --insecure: the server's certificate is not checked; anyone on the "
                   "way can read and change what is sent, password included\n";
    }
  }
  options.warned = true;
  return true;
}

void EnableDialogueTrace() { ::setenv("ORVEX_FTP_TRACE", "1", 1); }

void RemoteSession::ShowDialogue(const std::string& label) {
  host_.services().SetLogHandler([label](const hostapp::LogRecord& record) {
    if (record.type != HostServices::kTraceLogType) return false;
    // "FTP(cli) > USER me": the identifier says nothing here.
    std::string text = record.text;
    if (text.rfind("FTP(", 0) == 0) {
      const auto space = text.find(") ");
      if (space != std::string::npos) text.erase(0, space + 2);
    }
    // One write per line: parallel sessions trace from their own threads.
    const std::string line = text::TerminalSafe(label + text) + "\n";
    std::cerr.write(line.data(), static_cast<std::streamsize>(line.size()));
    std::cerr.flush();
    return true;
  });
}

bool RemoteSession::Connect() { return plugin_->iPC_Connect(kConnectWithoutAsking); }

std::string RemoteSession::LastError() { return plugin_->iPC_Properties()->LastError(); }

std::string RemoteSession::PathOf(const std::vector<std::string>& names) const {
  std::string path = location_;
  for (const auto& name : names) path += "\\" + name;
  return path;
}

void RemoteSession::CancelOnInterrupt() { connection_->CancelDescriptor(InterruptDescriptor(), kTidyUpMilliseconds); }

std::optional<RemoteListing> RemoteSession::List(const std::string& folder_path) {
  auto folders = plugin_->iPC_GetFolders(folder_path);
  if (!folders) return std::nullopt;
  auto files = plugin_->iPC_GetFiles(folder_path);
  if (!files) return std::nullopt;
  auto folder_items = ItemsOf<HostFolder>(*folders);
  auto file_items = ItemsOf<HostFile>(*files);
  if (!folder_items || !file_items) {
    plugin_->iPC_Properties()->LastError("the listing of " + folder_path + " holds an entry that is not an item");
    return std::nullopt;
  }
  RemoteListing listing{std::move(*folder_items), std::move(*file_items), {}};
  const Variant left_out = connection_->LeftOutOfListing(folder_path);
  if (left_out.type() == Variant::Type::Array) {
    for (const Variant& entry : left_out.AsArray()) {
      if (entry.type() != Variant::Type::Array || entry.AsArray().size() != 3) continue;
      const auto& fields = entry.AsArray();
      listing.left_out.push_back(
          {fields[0].ToString(), fields[1].ToLong() == _Connection::kLeftOutSpecial, fields[2].ToBoolean()});
    }
  }
  return listing;
}

void RemoteSession::ForgetListing(const std::string& folder_path) {
  // Only memory is at stake: a cache that is not there holds nothing.
  try {
    plugin_->iPC_ClearFolderCache(folder_path, false);
  } catch (const Error&) {
  }
}

}  // namespace orvex::cli
