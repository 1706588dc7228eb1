#pragma once
// One connected plug-in object for the length of a command: the reference
// host, the plug-in created by its class name and initialised for a
// location, its settings adjusted by the command's options, and the
// connection itself. Everything goes through iPC and _Connection.

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "connection/host/connection_interface.h"
#include "connection/host/connection_security.h"
#include "host/app/plugin_loader.h"
#include "host/app/reference_host.h"
#include "host/cli/arguments.h"
#include "host/cli/remote_url.h"

namespace orvex::cli {

// What the connection options of a command ask for; unset values leave the
// stored settings in force. Nothing here is ever saved.
struct ConnectionOptions {
  std::optional<std::string> user;
  bool password_from_input = false;
  // The password once read (from standard input or the terminal), so that a
  // second session of the same command does not ask again.
  std::optional<std::string> password;
  // The password was asked for on the terminal (whatever, if anything, was typed).
  bool password_prompted = false;
  bool anonymous = false;
  std::optional<std::string> port;
  // The proxy as the engine takes it ("socks5://HOST:PORT", "HOST:PORT" for
  // HTTP CONNECT), from --proxy or the environment; unset: direct.
  std::optional<std::string> proxy;
  std::string proxy_source;  // "--proxy", "ftp_proxy", ...: named when the connection fails
  bool no_proxy = false;  // no proxy at all, not even a stored one
  bool verbose = false;   // show the FTP dialogue
  bool no_cache = false;
  bool ascii = false;
  bool no_temp_copy = false;
  bool skip_navigation = false;
  // The server's listing time zone, "+HH:MM", for servers that misreport
  // it; unset: the plug-in learns it (or uses the stored value).
  std::optional<std::string> server_time_offset;
  // FTP over TLS: --tls asks for explicit TLS on an ftp:// URL; the others
  // take effect only when TLS is in use (by the URL, --tls or the settings).
  bool tls = false;
  std::optional<std::string> ca_file;      // --cacert FILE
  std::optional<std::string> fingerprint;  // --fingerprint SHA256:...
  bool insecure = false;                   // --insecure
  // Set once a session printed its warnings (a netrc it will not use,
  // --insecure): the further sessions of a command stay quiet about them.
  bool warned = false;
};

// The proxy for a server: --proxy (`given`) when set; otherwise, unless
// `ignore_environment` (--no-proxy), ftp_proxy, FTP_PROXY, all_proxy or
// ALL_PROXY as curl reads them, except for a host that no_proxy/NO_PROXY
// names (a list of host names, domain suffixes or "*"). Accepted forms:
// HOST:PORT and http://HOST:PORT (HTTP CONNECT), socks5://HOST:PORT and
// socks5h://HOST:PORT (the proxy resolves names either way). nullopt with
// `error` naming the source for anything else (another scheme, a login in
// the proxy URL, no port); an unset or empty result means direct.
// `source`, when given, receives where a proxy came from ("--proxy",
// "ftp_proxy", ...).
std::optional<std::optional<std::string>> ChooseProxy(const std::optional<std::string>& given,
                                                      bool ignore_environment, const std::string& host,
                                                      std::string& error, std::string* source = nullptr);

// True for "+HH:MM" or "-HH:MM" within the real time zones (-12:00 to +14:00).
bool IsZoneOffset(const std::string& text);

// nullopt with `error` set for a port that is not 1 to 65535, a proxy that
// cannot be used, or options that contradict each other.
std::optional<ConnectionOptions> ReadConnectionOptions(const ParsedArguments& arguments, const RemoteUrl& url,
                                                       std::string& error);

// Asks the plug-in objects made from now on to trace (ORVEX_FTP_TRACE=1).
void EnableDialogueTrace();

// An entry the server listed that the plug-in could not hand on as an item
// (_Connection::LeftOutOfListing).
struct LeftOutEntry {
  std::string name;      // as listed: may hold "/", "\" or NUL
  bool special = false;  // a device, socket or pipe; otherwise an unusable name
  bool folder = false;
};

// A remote folder's entries, without "." and "..", in the server's order,
// and what the server listed besides that cannot be items.
struct RemoteListing {
  std::vector<com::ComPtr<HostFolder>> folders;
  std::vector<com::ComPtr<HostFile>> files;
  std::vector<LeftOutEntry> left_out;
};

class RemoteSession {
 public:
  // Creates OrvexFTP.Connection through the class registry and initialises
  // it for `location` (its Location()). Raises orvex::Error when the class
  // is not registered or cannot be created.
  explicit RemoteSession(const RemoteUrl& location);
  ~RemoteSession();
  RemoteSession(const RemoteSession&) = delete;
  RemoteSession& operator=(const RemoteSession&) = delete;

  // Sets the connection's members for this run. The login comes from, in
  // this order: --anonymous; --user or the URL's user; the netrc entry for
  // the host; the stored settings. The password comes from `password_input`
  // (one line) with --password-stdin, else from the netrc entry when it is
  // for the same user, else from the stored settings when they are for the
  // same user. With no user at all the login is anonymous. A port in the
  // URL wins over the stored port. When a user is named and no password
  // comes from anywhere, a person at a terminal is asked for it (echo off).
  // --password-stdin on a terminal reads without echo as well. A password
  // read is kept in `options`, so that a further session of the same
  // command (a parallel sync's) gets the same settings. False with `error` set when the options
  // contradict the URL or no password could be read.
  bool Apply(ConnectionOptions& options, std::istream& password_input, std::string& error);

  // Prints the plug-in's trace of the FTP dialogue to standard error from
  // now on, as "> COMMAND" and "< REPLY" lines (the second session's with
  // "transfer" in front), control characters shown as "\xNN". The
  // plug-in traces only when ORVEX_FTP_TRACE was set before this session
  // was made: see EnableDialogueTrace.
  // `label` goes in front of each line (a parallel sync's further sessions
  // are told apart by it).
  void ShowDialogue(const std::string& label = "");

  // iPC_Connect without the interactive retry: one attempt. On failure the
  // reason is LastError().
  bool Connect();

  // From now on a signal caught by CatchInterrupts also cuts short what the
  // plug-in is waiting for (see interrupts.h).
  void CancelOnInterrupt();

  iPC& plugin() { return *plugin_; }
  // FTP over TLS settings of the connection (never null).
  _ConnectionSecurity& security() { return *security_; }
  _Connection& connection() { return *connection_; }
  hostapp::ReferenceHost& host() { return host_; }

  // The plug-in's report of its most recent failure (its descriptor's
  // LastError); meaningful only right after a member reported failure.
  std::string LastError();

  // The location as the plug-in resolved it, and the host path of an item
  // below it ("\"-joined, as the plug-in's own listings build paths).
  const std::string& location() const { return location_; }
  std::string PathOf(const std::vector<std::string>& names) const;

  // iPC_GetFolders and iPC_GetFiles of one folder; nullopt (with LastError()
  // saying why) when either fails or gives something that is not an item.
  std::optional<RemoteListing> List(const std::string& folder_path);
  // Lets the host's cache of `folder_path`'s listing go, for a caller that
  // has the items it needs and will not ask for that folder again: a large
  // listing is then not kept twice over (cache and caller) until the end.
  void ForgetListing(const std::string& folder_path);

 private:
  RemoteUrl url_;
  hostapp::ReferenceHost host_;
  hostapp::PluginLoader loader_;
  com::ComPtr<iPC> plugin_;
  com::ComPtr<_Connection> connection_;
  com::ComPtr<_ConnectionSecurity> security_;
  std::string location_;
};

}  // namespace orvex::cli
