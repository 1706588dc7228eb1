// DOS-style lines as IIS and other Windows servers send them:
//   "01-02-26  03:04PM       <DIR>          folder"
//   "01-02-26  03:04PM                 1234 file.txt"
//   "01-02-2026  15:04       <DIR>          folder"   (four-digit years, 24 h)
// IIS right-aligns sizes so that one space separates them from the name, and
// pads "<DIR>" with ten spaces to the same column; names keep any leading
// spaces beyond that.
#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/listing/list_formats.h"
#include "platform/inet/listing/listing_text.h"

namespace orvex::inet::list_formats {

namespace {

using listing_text::ParseFixedDigits;

// Two-digit years follow the POSIX strptime rule: 69..99 are 1969..1999,
// 00..68 are 2000..2068.
int ExpandTwoDigitYear(int year) { return year >= 69 ? 1900 + year : 2000 + year; }

// "MM-DD-YY" or "MM-DD-YYYY"; '/' is accepted in place of '-'.
std::optional<CivilTime> ParseDate(std::string_view token) {
  if (token.size() != 8 && token.size() != 10) return std::nullopt;
  const char separator = token[2];
  if ((separator != '-' && separator != '/') || token[5] != separator) {
    return std::nullopt;
  }
  const auto month = ParseFixedDigits(token, 2);
  const auto day = ParseFixedDigits(token.substr(3), 2);
  const auto year = ParseFixedDigits(token.substr(6), token.size() - 6);
  if (!month || !day || !year) return std::nullopt;
  CivilTime date;
  date.year = token.size() == 8 ? ExpandTwoDigitYear(*year) : *year;
  date.month = *month;
  date.day = *day;
  return date;
}

// "03:04PM", "12:00AM" (midnight) or "15:04".
bool ParseTime(std::string_view token, CivilTime& time) {
  if (token.size() != 5 && token.size() != 7) return false;
  const auto hour = ParseFixedDigits(token, 2);
  const auto minute = ParseFixedDigits(token.substr(3), 2);
  if (token[2] != ':' || !hour || !minute) return false;
  time.hour = *hour;
  time.minute = *minute;
  if (token.size() == 7) {
    const std::string_view half = token.substr(5);
    const bool after_noon = listing_text::EqualsIgnoringCase(half, "PM");
    if (!after_noon && !listing_text::EqualsIgnoringCase(half, "AM")) {
      return false;
    }
    if (time.hour < 1 || time.hour > 12) return false;
    time.hour = time.hour % 12 + (after_noon ? 12 : 0);
  }
  return listing_text::IsValidCivilTime(time);
}

// Sizes as digits, with the thousands separators some servers add.
std::optional<std::uint64_t> ParseSize(std::string_view token) {
  std::string digits;
  digits.reserve(token.size());
  for (char character : token) {
    if (character != ',') digits.push_back(character);
  }
  if (token.front() == ',' || token.back() == ',') return std::nullopt;
  return listing_text::ParseUnsigned(digits);
}

}  // namespace

std::optional<ListingEntry> ParseWindowsLine(std::string_view line, Names names) {
  std::string_view rest = line;
  const auto date = ParseDate(listing_text::NextToken(rest));
  if (!date) return std::nullopt;
  CivilTime time = *date;
  if (!ParseTime(listing_text::NextToken(rest), time)) return std::nullopt;
  const std::string_view kind = listing_text::NextToken(rest);
  if (kind.empty()) return std::nullopt;

  ListingEntry entry;
  std::string_view name;
  if (listing_text::EqualsIgnoringCase(kind, "<DIR>")) {
    entry.type = EntryType::Directory;
    const std::size_t padding = rest.find_first_not_of(' ');
    if (padding == std::string_view::npos) return std::nullopt;
    // The standard ten spaces of padding, or fewer on servers that pad less;
    // more than ten are the name's own.
    name = rest.substr(padding >= 10 ? 10 : padding);
  } else {
    const auto size = ParseSize(kind);
    if (!size || rest.size() < 2 || rest.front() != ' ') return std::nullopt;
    entry.size = *size;
    name = rest.substr(1);
  }
  if (!listing_text::AcceptsName(name, names == Names::AsListed)) return std::nullopt;
  entry.name = std::string(name);
  entry.has_time = true;
  entry.time = time;
  return entry;
}

}  // namespace orvex::inet::list_formats
