#pragma once
// Date: an OLE Automation date, the date type the host and the plug-in speak.
//
// The value is a count of days since 1899-12-30 00:00 with the time of day as
// the fraction, in local time (no zone is stored). 0 is that instant. For
// dates before it the integer part counts days backwards while the fraction
// still runs forwards: -1.25 is 1899-12-29 06:00.

#include <ctime>
#include <optional>

namespace orvex {

struct CalendarTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

class Date {
 public:
  constexpr Date() = default;
  constexpr explicit Date(double serial) : serial_(serial) {}

  // nullopt when a field is out of range (month 13, 31 April, 25:00, ...).
  // Years 100 to 9999, as the original type allows.
  static std::optional<Date> FromCalendar(const CalendarTime& time);
  // The current local date and time.
  static Date Now();
  // A POSIX time as local calendar time.
  static Date FromTimeT(std::time_t time);

  constexpr double serial() const { return serial_; }
  // Calendar fields, rounded to the millisecond.
  CalendarTime ToCalendar() const;
  // The POSIX time of this local calendar time, as mktime gives it (a local
  // time that is missing or shown twice included). Both directions use the
  // zone the C library last set up: a process that changes TZ calls tzset.
  std::time_t ToTimeT() const;

  friend constexpr bool operator==(Date a, Date b) { return a.serial_ == b.serial_; }
  friend constexpr auto operator<=>(Date a, Date b) { return a.serial_ <=> b.serial_; }

 private:
  double serial_ = 0;
};

}  // namespace orvex
