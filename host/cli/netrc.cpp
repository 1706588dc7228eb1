// Reading a netrc file.

#include "host/cli/netrc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/script/text_compare.h"

namespace orvex::cli {
namespace {

// Splits into tokens; a macro definition's body runs to the first empty line
// and is consumed here, so that its words never count as keywords.
std::vector<std::string> Tokenize(const std::string& text) {
  std::vector<std::string> tokens;
  std::size_t position = 0;
  while (position < text.size()) {
    const char c = text[position];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++position;
      continue;
    }
    std::string token;
    if (c == '"') {
      ++position;
      while (position < text.size() && text[position] != '"') {
        if (text[position] == '\\' && position + 1 < text.size()) ++position;
        token += text[position++];
      }
      ++position;
    } else {
      while (position < text.size() && text[position] != ' ' && text[position] != '\t' &&
             text[position] != '\r' && text[position] != '\n') {
        token += text[position++];
      }
    }
    tokens.push_back(token);
    if (tokens.back() == "macdef") {
      const auto end = text.find("\n\n", position);
      position = end == std::string::npos ? text.size() : end + 2;
    }
  }
  return tokens;
}

}  // namespace

std::filesystem::path NetrcPath() {
  if (const char* netrc = std::getenv("NETRC"); netrc && *netrc) return netrc;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : "") / ".netrc";
}

std::optional<NetrcLogin> FindNetrcLogin(const std::string& text, const std::string& host) {
  const auto tokens = Tokenize(text);
  std::optional<NetrcLogin> fallback;
  for (std::size_t index = 0; index < tokens.size(); ++index) {
    const std::string& word = tokens[index];
    const bool machine = word == "machine" && index + 1 < tokens.size();
    if (!machine && word != "default") continue;
    const bool matches = machine && script::TextEquals(tokens[index + 1], host);
    if (machine) ++index;
    NetrcLogin login;
    // The entry's pairs run until the next entry begins.
    while (index + 2 < tokens.size()) {
      const std::string& key = tokens[index + 1];
      if (key == "machine" || key == "default" || key == "macdef") break;
      if (key == "login") login.login = tokens[index + 2];
      if (key == "password") login.password = tokens[index + 2];
      index += 2;
    }
    if (matches) return login;
    if (!machine && !fallback) fallback = login;
  }
  return fallback;
}

std::optional<NetrcLogin> ReadNetrcLogin(const std::string& host, std::string& warning) {
  const auto path = NetrcPath();
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  auto login = FindNetrcLogin(text.str(), host);
  struct stat status {};
  if (login && !login->password.empty() && ::stat(path.c_str(), &status) == 0) {
    std::string why;
    if (status.st_uid != ::geteuid()) {
      why = "it belongs to another user";
    } else if ((status.st_mode & 077) != 0) {
      char mode[8];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
      why = std::string("others may read it (mode ") + mode + "); chmod 600 " + path.string() + " to use it";
    }
    if (!why.empty()) {
      warning = "not using the password in " + path.string() + ": " + why;
      login->password.clear();
    }
  }
  return login;
}

}  // namespace orvex::cli
