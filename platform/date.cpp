#include "platform/date.h"

#include "platform/calendar.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <optional>

namespace orvex {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

constexpr std::int64_t kSecondsPerDay = 86'400;

// The moment local time `t` (`as_if_utc`: the same fields read as UTC)
// stands for, when the zone's offset from UTC is the same at it and a day
// before and after; nothing otherwise, or when localtime_r fails.
std::optional<std::time_t> LocalTimeWithSteadyOffset(const CalendarTime& t, std::int64_t as_if_utc) {
  const auto offset_at = [](std::time_t moment, std::tm& fields) -> std::optional<long> {
    if (localtime_r(&moment, &fields) == nullptr) return std::nullopt;
    return fields.tm_gmtoff;
  };
  std::tm fields{};
  const auto guessed = offset_at(static_cast<std::time_t>(as_if_utc), fields);
  if (!guessed) return std::nullopt;
  const auto moment = static_cast<std::time_t>(as_if_utc - *guessed);
  const auto offset = offset_at(moment, fields);
  if (!offset || *offset != *guessed) return std::nullopt;
  if (fields.tm_year + 1900 != t.year || fields.tm_mon + 1 != t.month || fields.tm_mday != t.day ||
      fields.tm_hour != t.hour || fields.tm_min != t.minute || fields.tm_sec != t.second) {
    return std::nullopt;
  }
  std::tm around{};
  if (offset_at(moment - kSecondsPerDay, around) != offset || offset_at(moment + kSecondsPerDay, around) != offset) {
    return std::nullopt;
  }
  return moment;
}

sys_days Epoch() { return sys_days(year_month_day(year(1899), month(12), day(30))); }

}  // namespace

std::optional<Date> Date::FromCalendar(const CalendarTime& t) {
  if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > calendar::DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
      t.minute > 59 || t.second < 0 || t.second > 59 || t.millisecond < 0 || t.millisecond > 999) {
    return std::nullopt;
  }
  sys_days date(year_month_day(year(t.year), month(static_cast<unsigned>(t.month)),
                               day(static_cast<unsigned>(t.day))));
  auto days = static_cast<double>((date - Epoch()).count());
  double fraction =
      ((t.hour * 60.0 + t.minute) * 60.0 + t.second + t.millisecond / 1000.0) / 86400.0;
  // Before the epoch the fraction still runs forwards from the day's midnight.
  return Date(days >= 0 ? days + fraction : days - fraction);
}

CalendarTime Date::ToCalendar() const {
  double whole_days = std::trunc(serial_);
  double fraction = std::fabs(serial_ - whole_days);
  auto milliseconds = static_cast<std::int64_t>(std::llround(fraction * kMillisecondsPerDay));
  auto day_count = static_cast<std::int64_t>(whole_days);
  if (milliseconds >= kMillisecondsPerDay) {
    milliseconds -= kMillisecondsPerDay;
    day_count += serial_ < 0 ? -1 : 1;
  }
  year_month_day date(Epoch() + std::chrono::days(day_count));
  CalendarTime t;
  t.year = static_cast<int>(date.year());
  t.month = static_cast<int>(static_cast<unsigned>(date.month()));
  t.day = static_cast<int>(static_cast<unsigned>(date.day()));
  t.millisecond = static_cast<int>(milliseconds % 1000);
  auto seconds = milliseconds / 1000;
  t.second = static_cast<int>(seconds % 60);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.hour = static_cast<int>(seconds / 3600);
  return t;
}

Date Date::FromTimeT(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  CalendarTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                 local.tm_hour,        local.tm_min,     local.tm_sec > 59 ? 59 : local.tm_sec,
                 0};
  return FromCalendar(t).value_or(Date());
}

Date Date::Now() {
  auto now = std::chrono::system_clock::now();
  auto seconds = std::chrono::system_clock::to_time_t(now);
  auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                          now.time_since_epoch() % std::chrono::seconds(1))
                          .count();
  CalendarTime t = FromTimeT(seconds).ToCalendar();
  t.millisecond = static_cast<int>(milliseconds);
  return FromCalendar(t).value_or(Date());
}

std::time_t Date::ToTimeT() const {
  const CalendarTime t = ToCalendar();
  // mktime looks at the zone's file again on every call (a system call each
  // time), which a sync comparing a large folder pays per file. Where the
  // zone's offset is the same for a day either side, the answer is simply
  // the local time less that offset, found with localtime_r alone, and
  // checked by turning it back; near a change of offset (a time that is
  // missing or shown twice) mktime decides, as it always did.
  const std::int64_t as_if_utc = calendar::DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay +
                                 t.hour * 3600 + t.minute * 60 + t.second;
  if (const auto found = LocalTimeWithSteadyOffset(t, as_if_utc)) return *found;
  std::tm local{};
  local.tm_year = t.year - 1900;
  local.tm_mon = t.month - 1;
  local.tm_mday = t.day;
  local.tm_hour = t.hour;
  local.tm_min = t.minute;
  local.tm_sec = t.second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

}  // namespace orvex
