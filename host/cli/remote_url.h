#pragma once
// Remote URLs as a user types them: ftp://[user@]server[:port]/path, or
// ftpes:// (FTP with explicit TLS, required) or ftps:// (implicit TLS,
// port 990 unless the URL names one).
//
// The path is taken literally (no %-escapes), so names with spaces or other
// letters need only the shell's quoting. "/" separates the path's names; an
// empty name (a doubled or closing "/") is dropped.

#include <optional>
#include <string>
#include <vector>

namespace orvex::cli {

// What the URL's scheme asks of TLS: ftp:// leaves it to the stored settings.
enum class UrlEncryption { Stored, Explicit, Implicit };

struct RemoteUrl {
  UrlEncryption encryption = UrlEncryption::Stored;
  std::string server;  // as written: "example.org", "example.org:2121", "[::1]:2121"
  std::string host;    // without brackets or port: "example.org", "::1"
  std::string port;    // digits, empty when the URL names none
  std::string user;    // empty when the URL names none
  std::vector<std::string> names;  // the path's folder and file names

  // "ftp://" + server, then "/" and the names joined with "/", whatever the
  // scheme (the plug-in keeps TLS as a setting of the server); the user is
  // left out (the plug-in takes the login from its settings).
  std::string Location() const;
  // The URL of the folder holding the last name; the server root stays itself.
  RemoteUrl Parent() const;
  // The last name, empty for the server root.
  std::string Name() const;
};

// True for the decimal digits of a TCP port, 1 to 65535 (no sign, no
// spaces, at most five digits): the one check for a port a user gives,
// in a URL or as --port.
bool IsPortNumber(const std::string& text);

// nullopt with `error` filled in for anything but a usable ftp://, ftpes://
// or ftps:// URL: another scheme, no server, a port that is not 1 to 65535, a password in the URL
// (it would sit in the process list; use --password-stdin or ~/.netrc), a
// "." or ".." name, or a control character.
std::optional<RemoteUrl> ParseRemoteUrl(const std::string& text, std::string& error);

}  // namespace orvex::cli
