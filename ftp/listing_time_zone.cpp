#include "ftp/listing_time_zone.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/calendar.h"

namespace orvex {
namespace {

constexpr long long kQuarterHour = 15 * 60;
constexpr std::int64_t kDay = 24 * 60 * 60;

bool Valid(const CalendarTime& time) {
  return time.year >= 1900 && time.year <= 9999 && time.month >= 1 && time.month <= 12 &&
         time.day >= 1 && time.day <= 31 && time.hour >= 0 && time.hour <= 23 && time.minute >= 0 &&
         time.minute <= 59 && time.second >= 0 && time.second <= 60;
}

}  // namespace

std::optional<std::time_t> CivilToEpoch(const CalendarTime& time) {
  if (!Valid(time)) return std::nullopt;
  // A day past the month's end counts on into the next month, as timegm does.
  return calendar::DaysFromCivil(time.year, time.month, time.day) * kDay + std::int64_t{time.hour} * 3600 +
         time.minute * 60 + time.second;
}

CalendarTime EpochToCivil(std::time_t epoch) {
  const std::int64_t days = (epoch >= 0 ? epoch : epoch - (kDay - 1)) / kDay;
  const std::int64_t second_of_day = epoch - days * kDay;
  const calendar::CivilDate date = calendar::CivilFromDays(days);
  return CalendarTime{static_cast<int>(date.year),
                      date.month,
                      date.day,
                      static_cast<int>(second_of_day / 3600),
                      static_cast<int>(second_of_day / 60 % 60),
                      static_cast<int>(second_of_day % 60)};
}

std::optional<int> ListingOffsetMinutes(const CalendarTime& listed, const CalendarTime& utc) {
  const auto moment = CivilToEpoch(utc);
  if (!moment) return std::nullopt;
  // A listing without a year gets one guessed from the client's calendar,
  // which around New Year may be the server's previous or next year.
  for (int year_shift : {0, -1, 1}) {
    CalendarTime candidate = listed;
    candidate.year += year_shift;
    const auto shown = CivilToEpoch(candidate);
    if (!shown) continue;
    const long long difference = static_cast<long long>(*shown) - static_cast<long long>(*moment);
    // The listing drops the seconds: the shown minute starts up to 59 s
    // before the real time, which the rounding absorbs.
    const long long quarters = std::llround(static_cast<double>(difference) / kQuarterHour);
    const long long minutes = quarters * kQuarterHour / 60;
    if (std::llabs(difference - quarters * kQuarterHour) > 5 * 60) continue;
    if (minutes < kEarliestZoneMinutes || minutes > kLatestZoneMinutes) continue;
    return static_cast<int>(minutes);
  }
  return std::nullopt;
}

std::optional<int> ParseZoneOffset(std::string_view text) {
  if (text == "UTC" || text == "utc" || text == "Z" || text == "0") return 0;
  if (text.empty()) return std::nullopt;
  int sign = 1;
  if (text.front() == '+' || text.front() == '-') {
    sign = text.front() == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  std::string digits;
  bool colon = false;
  for (char character : text) {
    if (character == ':' && !colon && !digits.empty()) {
      colon = true;
      if (digits.size() == 1) digits.insert(digits.begin(), '0');
      continue;
    }
    if (character < '0' || character > '9') return std::nullopt;
    digits.push_back(character);
  }
  int hours = 0;
  int minutes = 0;
  if (colon) {
    if (digits.size() != 4) return std::nullopt;
    hours = std::stoi(digits.substr(0, 2));
    minutes = std::stoi(digits.substr(2));
  } else if (digits.size() == 1 || digits.size() == 2) {
    hours = std::stoi(digits);
  } else if (digits.size() == 4) {
    hours = std::stoi(digits.substr(0, 2));
    minutes = std::stoi(digits.substr(2));
  } else {
    return std::nullopt;
  }
  if (minutes > 59) return std::nullopt;
  const int offset = sign * (hours * 60 + minutes);
  if (offset < kEarliestZoneMinutes || offset > kLatestZoneMinutes) return std::nullopt;
  return offset;
}

std::string FormatZoneOffset(int minutes) {
  const int magnitude = minutes < 0 ? -minutes : minutes;
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                magnitude % 60);
  return text;
}

}  // namespace orvex
