#include "platform/inet/host_port.h"

#include <charconv>

namespace orvex::inet {
namespace {

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value == 0 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<HostPort> SplitHostPort(std::string_view text) {
  HostPort result;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    result.host = std::string(text.substr(1, close - 1));
    std::string_view rest = text.substr(close + 1);
    if (rest.empty()) return result;
    if (rest.front() != ':') return std::nullopt;
    const auto port = ParsePort(rest.substr(1));
    if (!port) return std::nullopt;
    result.port = *port;
    return result;
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos ||
      text.find(':', colon + 1) != std::string_view::npos) {
    result.host = std::string(text);  // no port, or a bare IPv6 address
    return result;
  }
  const auto port = ParsePort(text.substr(colon + 1));
  if (!port) return std::nullopt;
  result.host = std::string(text.substr(0, colon));
  result.port = *port;
  return result;
}

}  // namespace orvex::inet
