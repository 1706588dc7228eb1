#pragma once
// The proleptic Gregorian calendar: month lengths and day counts, the one
// place the code base knows them (dates, file times, replies and listing
// dates all ask here).

#include <cstdint>

namespace orvex::calendar {

constexpr bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The days of `month` (1..12) in `year`; 0 for a month outside 1..12.
constexpr int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date, and the date of such a day count
// (H. Hinnant's days_from_civil and civil_from_days): exact for the whole
// proleptic Gregorian calendar, plain arithmetic, no zone lookups. The
// month is 1..12.
constexpr std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  const std::int64_t shifted_year = month <= 2 ? year - 1 : year;
  const std::int64_t era = (shifted_year >= 0 ? shifted_year : shifted_year - 399) / 400;
  const std::int64_t year_of_era = shifted_year - era * 400;
  const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct CivilDate {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

constexpr CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;
  const int month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  const int day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

static_assert(DaysFromCivil(1970, 1, 1) == 0 && DaysFromCivil(2000, 3, 1) == 11017 &&
              DaysFromCivil(1969, 12, 31) == -1);
static_assert(CivilFromDays(11017).year == 2000 && CivilFromDays(11017).month == 3 &&
              CivilFromDays(-1).year == 1969 && CivilFromDays(-1).day == 31);

}  // namespace orvex::calendar
