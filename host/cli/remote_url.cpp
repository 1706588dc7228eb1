// Splitting a remote URL into server, login and names.

#include "host/cli/remote_url.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace orvex::cli {
namespace {

constexpr char kScheme[] = "ftp://";
constexpr std::size_t kSchemeLength = sizeof kScheme - 1;

bool HasControlCharacter(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace

bool IsPortNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  const int value = std::stoi(text);
  return value >= 1 && value <= 65535;
}

std::string RemoteUrl::Location() const {
  std::string location = kScheme + server;
  for (const auto& name : names) location += "/" + name;
  return location;
}

RemoteUrl RemoteUrl::Parent() const {
  RemoteUrl parent = *this;
  if (!parent.names.empty()) parent.names.pop_back();
  return parent;
}

std::string RemoteUrl::Name() const { return names.empty() ? std::string() : names.back(); }

std::optional<RemoteUrl> ParseRemoteUrl(const std::string& text, std::string& error) {
  auto fail = [&](const std::string& why) -> std::optional<RemoteUrl> {
    error = "not a usable ftp:// URL: " + why;
    return std::nullopt;
  };
  RemoteUrl url;
  std::size_t scheme_length = 0;
  for (const auto& [scheme, encryption] : {std::pair<std::string_view, UrlEncryption>{kScheme, UrlEncryption::Stored},
                                           {"ftpes://", UrlEncryption::Explicit},
                                           {"ftps://", UrlEncryption::Implicit}}) {
    if (text.size() >= scheme.size() &&
        std::equal(scheme.begin(), scheme.end(), text.begin(),
                   [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
      scheme_length = scheme.size();
      url.encryption = encryption;
      break;
    }
  }
  if (scheme_length == 0) return fail("it must begin with ftp://, ftpes:// or ftps://");
  if (HasControlCharacter(text)) return fail("it holds a control character");

  const std::string rest = text.substr(scheme_length);
  const auto slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  const std::string path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);

  if (const auto at = authority.rfind('@'); at != std::string::npos) {
    url.user = authority.substr(0, at);
    authority = authority.substr(at + 1);
    if (url.user.find(':') != std::string::npos) {
      return fail("a password does not belong in a URL (use --password-stdin or ~/.netrc)");
    }
    if (url.user.empty()) return fail("the user name before \"@\" is empty");
  }
  if (authority.empty()) return fail("it names no server");

  bool port_given = false;
  if (authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string::npos) return fail("an IPv6 address lacks its closing \"]\"");
    url.host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return fail("unexpected text after the IPv6 address");
      url.port = after.substr(1);
      port_given = true;
    }
  } else {
    const auto colon = authority.find(':');
    url.host = authority.substr(0, colon);
    if (colon != std::string::npos) {
      url.port = authority.substr(colon + 1);
      port_given = true;
      if (url.port.find(':') != std::string::npos) return fail("write an IPv6 address in brackets");
    }
  }
  if (url.host.empty()) return fail("it names no server");
  if (port_given && !IsPortNumber(url.port)) {
    return fail("the port must be a number from 1 to 65535");
  }
  url.server = authority;

  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = std::min(path.find('/', start), path.size());
    const std::string name = path.substr(start, end - start);
    if (name == "." || name == "..") return fail("\".\" and \"..\" are not allowed in the path");
    if (name.find('\\') != std::string::npos) return fail("\"\\\" is not allowed in a name");
    if (!name.empty()) url.names.push_back(name);
    start = end + 1;
  }
  return url;
}

}  // namespace orvex::cli
