// "ls -l" lines. Column widths, the group column and the link count vary by
// server, so the parser does not count columns: it finds the date (month,
// day, time or year, preceded by the size) and takes everything after the
// single space that follows the date as the name. Names therefore keep
// leading, trailing and repeated spaces and may start with '-'.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/calendar.h"
#include "platform/inet/listing/list_formats.h"
#include "platform/inet/listing/listing_text.h"

namespace orvex::inet::list_formats {

namespace {

using listing_text::ParseFixedDigits;
using listing_text::ParseUnsigned;

// A year-less date may lie this many days after the server's today and still
// count as this year: the server's clock, its time zone and ours disagree by
// up to a day, and a file touched "tomorrow" is far likelier than one from
// eleven months ago shown without its year.
constexpr int kFutureToleranceDays = 1;

// The date is searched for among the first tokens only; real lines have it
// at token 5 to 8. This bounds the work on a long line of garbage.
constexpr std::size_t kMaximumTokens = 16;

std::optional<EntryType> TypeFromModeLetter(char letter) {
  switch (letter) {
    case '-': return EntryType::File;
    case 'd': return EntryType::Directory;
    case 'l': return EntryType::Link;
    case 'b':  // block device
    case 'c':  // character device
    case 'p':  // fifo
    case 's':  // socket
    case 'D':  // Solaris door
      return EntryType::Other;
    default: return std::nullopt;
  }
}

// "drwxr-xr-x", optionally followed by one marker for an ACL ('+'),
// extended attributes ('@', macOS) or an SELinux context ('.').
bool IsModeToken(std::string_view token) {
  if (token.size() == 11) {
    const char marker = token.back();
    if (marker != '+' && marker != '@' && marker != '.') return false;
    token.remove_suffix(1);
  }
  if (token.size() != 10 || !TypeFromModeLetter(token.front())) return false;
  for (char character : token.substr(1)) {
    if (std::string_view("rwxsStTlL-").find(character) ==
        std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::optional<int> MonthFromName(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun",
      "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() != 3) return std::nullopt;
  for (std::size_t index = 0; index < kMonths.size(); ++index) {
    if (listing_text::EqualsIgnoringCase(token, kMonths[index])) {
      return static_cast<int>(index) + 1;
    }
  }
  return std::nullopt;
}

struct HourMinute {
  int hour;
  int minute;
};

// "9:05" or "09:05".
std::optional<HourMinute> ParseClock(std::string_view token) {
  if (token.size() == 4) {
    const auto hour = ParseFixedDigits(token, 1);
    const auto minute = ParseFixedDigits(token.substr(2), 2);
    if (token[1] != ':' || !hour || !minute || *minute > 59) return std::nullopt;
    return HourMinute{*hour, *minute};
  }
  if (token.size() == 5) {
    const auto hour = ParseFixedDigits(token, 2);
    const auto minute = ParseFixedDigits(token.substr(3), 2);
    if (token[2] != ':' || !hour || !minute || *hour > 23 || *minute > 59) {
      return std::nullopt;
    }
    return HourMinute{*hour, *minute};
  }
  return std::nullopt;
}

// ls shows the year instead of the time for dates more than about six months
// away; otherwise the year is the latest one that puts the date no further
// than the tolerance past `now`. A 29 February goes back to the last leap year.
std::optional<int> ResolveYear(int month, int day, const CivilTime& now) {
  if (!listing_text::IsValidCivilTime(CivilTime{now.year, now.month, now.day})) {
    return std::nullopt;
  }
  const std::int64_t latest =
      calendar::DaysFromCivil(now.year, now.month, now.day) +
      kFutureToleranceDays;
  for (int year = now.year + 1; year >= now.year - 8 && year >= 1; --year) {
    if (day > calendar::DaysInMonth(year, month)) continue;
    if (calendar::DaysFromCivil(year, month, day) <= latest) return year;
  }
  return std::nullopt;
}

struct DateMatch {
  CivilTime time;
  bool has_time = false;
};

// Month, day and time-or-year at tokens[index..index+2].
std::optional<DateMatch> MatchMonthDayDate(
    const std::array<std::string_view, kMaximumTokens>& tokens,
    std::size_t index, const CivilTime& now) {
  const auto month = MonthFromName(tokens[index]);
  if (!month) return std::nullopt;
  const std::string_view day_token = tokens[index + 1];
  const auto day = day_token.size() == 1 ? ParseFixedDigits(day_token, 1)
                                         : ParseFixedDigits(day_token, 2);
  if (!day || day_token.size() > 2 || *day < 1 || *day > 31) return std::nullopt;

  DateMatch match;
  if (const auto clock = ParseClock(tokens[index + 2])) {
    match.time = CivilTime{0, *month, *day, clock->hour, clock->minute, 0};
    if (const auto year = ResolveYear(*month, *day, now)) {
      match.time.year = *year;
      match.has_time = true;
    }
    return match;
  }
  const std::string_view year_token = tokens[index + 2];
  const auto year = ParseFixedDigits(year_token, 4);
  if (year_token.size() != 4 || !year) return std::nullopt;
  match.time = CivilTime{*year, *month, *day, 0, 0, 0};
  if (!listing_text::IsValidCivilTime(match.time)) return std::nullopt;
  match.has_time = true;
  return match;
}

// "2026-12-09 23:28" (ls --time-style=long-iso) at tokens[index..index+1].
std::optional<DateMatch> MatchIsoDate(
    const std::array<std::string_view, kMaximumTokens>& tokens,
    std::size_t index) {
  const std::string_view date = tokens[index];
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') {
    return std::nullopt;
  }
  const auto year = ParseFixedDigits(date, 4);
  const auto month = ParseFixedDigits(date.substr(5), 2);
  const auto day = ParseFixedDigits(date.substr(8), 2);
  const auto clock = ParseClock(tokens[index + 1]);
  if (!year || !month || !day || !clock) return std::nullopt;
  DateMatch match;
  match.time = CivilTime{*year, *month, *day, clock->hour, clock->minute, 0};
  if (!listing_text::IsValidCivilTime(match.time)) return std::nullopt;
  match.has_time = true;
  return match;
}

// The size column just before the date: a byte count, or for device files
// "major, minor" / "major,minor", which carry no size.
bool IsSizeBefore(const std::array<std::string_view, kMaximumTokens>& tokens,
                  std::size_t date_index, std::uint64_t& size) {
  const std::string_view last = tokens[date_index - 1];
  if (const auto bytes = ParseUnsigned(last)) {
    const std::string_view before = tokens[date_index - 2];
    if (date_index >= 3 && before.size() >= 2 && before.back() == ',' &&
        ParseUnsigned(before.substr(0, before.size() - 1))) {
      size = 0;
    } else {
      size = *bytes;
    }
    return true;
  }
  const std::size_t comma = last.find(',');
  if (comma != std::string_view::npos && ParseUnsigned(last.substr(0, comma)) &&
      ParseUnsigned(last.substr(comma + 1))) {
    size = 0;
    return true;
  }
  return false;
}

}  // namespace

std::optional<ListingEntry> ParseUnixLine(std::string_view line,
                                          const CivilTime& now, Names names) {
  std::array<std::string_view, kMaximumTokens> tokens{};
  std::size_t count = 0;
  std::string_view rest = line;
  while (count < kMaximumTokens) {
    const std::string_view token = listing_text::NextToken(rest);
    if (token.empty()) break;
    tokens[count++] = token;
  }
  if (count < 5 || !IsModeToken(tokens[0])) return std::nullopt;

  // Mode, at least one of link count/owner/group, size: the date starts at
  // token 3 at the earliest.
  for (std::size_t index = 3; index + 1 < count; ++index) {
    std::optional<DateMatch> date;
    std::size_t last_date_token = 0;
    if (index + 2 < count) {
      date = MatchMonthDayDate(tokens, index, now);
      last_date_token = index + 2;
    }
    if (!date) {
      date = MatchIsoDate(tokens, index);
      last_date_token = index + 1;
    }
    std::uint64_t size = 0;
    if (!date || !IsSizeBefore(tokens, index, size)) continue;

    // Exactly one separator after the date; whatever follows is the name.
    const std::string_view date_end = tokens[last_date_token];
    const std::size_t name_start =
        static_cast<std::size_t>(date_end.data() - line.data()) +
        date_end.size() + 1;
    if (name_start >= line.size()) return std::nullopt;
    std::string_view name = line.substr(name_start);

    ListingEntry entry;
    entry.type = *TypeFromModeLetter(tokens[0].front());
    if (entry.type == EntryType::Link) {
      // The first arrow splits; a file (not a link) whose name contains
      // " -> " keeps it whole.
      constexpr std::string_view kArrow = " -> ";
      if (const std::size_t arrow = name.find(kArrow);
          arrow != std::string_view::npos) {
        entry.link_target = std::string(name.substr(arrow + kArrow.size()));
        name = name.substr(0, arrow);
      }
    }
    if (!listing_text::AcceptsName(name, names == Names::AsListed)) return std::nullopt;
    entry.name = std::string(name);
    entry.size = size;
    entry.has_time = date->has_time;
    if (date->has_time) entry.time = date->time;
    return entry;
  }
  return std::nullopt;
}

}  // namespace orvex::inet::list_formats
