#include "platform/inet/reply.h"

#include <array>
#include <charconv>

namespace orvex::inet {
namespace {

std::optional<unsigned> ParseNumber(std::string_view text, unsigned maximum) {
  unsigned value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value > maximum) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::uint16_t> ParseExtendedPassivePort(std::string_view text) {
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos || open + 1 >= text.size()) {
    return std::nullopt;
  }
  const char delimiter = text[open + 1];
  // (<d><d><d>port<d>)
  std::string_view rest = text.substr(open + 1);
  if (rest.size() < 5 || rest[1] != delimiter || rest[2] != delimiter) {
    return std::nullopt;
  }
  rest.remove_prefix(3);
  const std::size_t end = rest.find(delimiter);
  if (end == std::string_view::npos) return std::nullopt;
  const auto port = ParseNumber(rest.substr(0, end), 65535);
  if (!port || *port == 0) return std::nullopt;
  return static_cast<std::uint16_t>(*port);
}

std::optional<std::uint16_t> ParsePassivePort(std::string_view text) {
  // The numbers follow the code; some servers omit the parentheses.
  std::size_t position = text.find_first_of("0123456789", 4);
  const std::size_t open = text.find('(');
  if (open != std::string_view::npos) position = open + 1;
  if (position == std::string_view::npos) return std::nullopt;
  std::array<unsigned, 6> numbers{};
  for (std::size_t index = 0; index < numbers.size(); ++index) {
    const std::size_t end = text.find_first_not_of("0123456789", position);
    const std::string_view digits =
        text.substr(position, end == std::string_view::npos ? text.size() - position
                                                             : end - position);
    const auto number = ParseNumber(digits, 255);
    if (!number) return std::nullopt;
    numbers[index] = *number;
    if (index + 1 < numbers.size()) {
      if (end == std::string_view::npos || text[end] != ',') return std::nullopt;
      position = end + 1;
    }
  }
  const unsigned port = numbers[4] * 256 + numbers[5];
  if (port == 0) return std::nullopt;
  return static_cast<std::uint16_t>(port);
}

std::optional<std::string> ParseQuotedPath(std::string_view text) {
  const std::size_t open = text.find('"');
  if (open == std::string_view::npos) return std::nullopt;
  std::string path;
  for (std::size_t index = open + 1; index < text.size(); ++index) {
    if (text[index] != '"') {
      path.push_back(text[index]);
    } else if (index + 1 < text.size() && text[index + 1] == '"') {
      path.push_back('"');
      ++index;
    } else {
      return path;
    }
  }
  return std::nullopt;
}

}  // namespace orvex::inet
