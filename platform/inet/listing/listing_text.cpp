#include "platform/inet/listing/listing_text.h"

#include <limits>

#include "platform/calendar.h"

namespace orvex::inet::listing_text {

namespace {

bool IsBlank(char character) { return character == ' ' || character == '\t'; }

char LowerAscii(char character) {
  return (character >= 'A' && character <= 'Z')
             ? static_cast<char>(character - 'A' + 'a')
             : character;
}

}  // namespace

std::string_view StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
    line.remove_suffix(1);
  }
  return line;
}

bool IsSafeName(std::string_view name) {
  return !name.empty() && name.find_first_of(std::string_view("/\\\0", 3)) ==
                              std::string_view::npos;
}

bool AcceptsName(std::string_view name, bool as_listed) {
  return as_listed ? !name.empty() : IsSafeName(name);
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
  if (text.empty()) return std::nullopt;
  constexpr std::uint64_t kMaximum = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (char character : text) {
    if (character < '0' || character > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(character - '0');
    if (value > (kMaximum - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<int> ParseFixedDigits(std::string_view text, std::size_t digits) {
  if (text.size() < digits || digits > 9) return std::nullopt;
  int value = 0;
  for (std::size_t index = 0; index < digits; ++index) {
    const char character = text[index];
    if (character < '0' || character > '9') return std::nullopt;
    value = value * 10 + (character - '0');
  }
  return value;
}

bool EqualsIgnoringCase(std::string_view left, std::string_view right) {
  return left.size() == right.size() && StartsWithIgnoringCase(left, right);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t index = 0; index < prefix.size(); ++index) {
    if (LowerAscii(text[index]) != LowerAscii(prefix[index])) return false;
  }
  return true;
}

bool IsValidCivilTime(const CivilTime& time) {
  return time.year >= 1 && time.year <= 9999 && time.day >= 1 &&
         time.day <= calendar::DaysInMonth(time.year, time.month) && time.hour >= 0 &&
         time.hour <= 23 && time.minute >= 0 && time.minute <= 59 &&
         time.second >= 0 && time.second <= 59;
}

CivilTime CivilFromUnixSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t second_of_day = seconds % 86400;
  if (second_of_day < 0) {
    second_of_day += 86400;
    days -= 1;
  }
  const calendar::CivilDate date = calendar::CivilFromDays(days);
  CivilTime time;
  time.day = date.day;
  time.month = date.month;
  time.year = static_cast<int>(date.year);
  time.hour = static_cast<int>(second_of_day / 3600);
  time.minute = static_cast<int>(second_of_day / 60 % 60);
  time.second = static_cast<int>(second_of_day % 60);
  return time;
}

std::string_view NextToken(std::string_view& rest) {
  std::size_t start = 0;
  while (start < rest.size() && IsBlank(rest[start])) ++start;
  std::size_t end = start;
  while (end < rest.size() && !IsBlank(rest[end])) ++end;
  const std::string_view token = rest.substr(start, end - start);
  rest.remove_prefix(end);
  return token;
}

}  // namespace orvex::inet::listing_text
