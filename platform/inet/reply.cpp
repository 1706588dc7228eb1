#include "platform/inet/reply.h"

#include <array>
#include <charconv>

#include "platform/calendar.h"

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

std::optional<CivilTime> ParseModificationTime(std::string_view text) {
  if (text.size() < 18 || text.substr(0, 4) != "213 ") return std::nullopt;
  const std::string_view stamp = text.substr(4, 14);
  if (stamp.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  const std::string_view rest = text.substr(18);
  if (!rest.empty() && rest.front() != '.' && rest.front() != ' ' && rest.front() != '\r') {
    return std::nullopt;
  }
  const auto field = [&](std::size_t from, std::size_t length) {
    int value = 0;
    for (char digit : stamp.substr(from, length)) value = value * 10 + (digit - '0');
    return value;
  };
  CivilTime time{field(0, 4), field(4, 2), field(6, 2), field(8, 2), field(10, 2), field(12, 2)};
  if (time.year < 1900 || time.month < 1 || time.month > 12 || time.day < 1 ||
      time.day > calendar::DaysInMonth(time.year, time.month) || time.hour > 23 || time.minute > 59 ||
      time.second > 60) {
    return std::nullopt;
  }
  if (time.second == 60) time.second = 59;
  return time;
}

}  // namespace orvex::inet
