#pragma once
// The proleptic Gregorian calendar's month lengths, the one place the code
// base knows them (dates, file times and listing dates all ask here).

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

}  // namespace orvex::calendar
