#pragma once
// Logins from a netrc file, as ftp clients read it.

#include <filesystem>
#include <optional>
#include <string>

namespace orvex::cli {

struct NetrcLogin {
  std::string login;
  std::string password;
};

// $NETRC when set, else $HOME/.netrc.
std::filesystem::path NetrcPath();

// The entry for `host` in netrc text: the first "machine host" entry, else
// the "default" entry, else nullopt. Tokens are separated by blanks and line
// breaks; "macdef" bodies (up to an empty line) are skipped; a quoted token
// may hold blanks. Host names are compared without regard to letter case.
std::optional<NetrcLogin> FindNetrcLogin(const std::string& text, const std::string& host);

// Reads NetrcPath(); nullopt when the file is missing or has no entry. As
// ftp clients do, a password is not taken from a file that others may read
// or write (any group or other permission bit) or that belongs to someone
// else: the entry comes back without it and `warning` says why (the login
// name is still used).
std::optional<NetrcLogin> ReadNetrcLogin(const std::string& host, std::string& warning);

}  // namespace orvex::cli
