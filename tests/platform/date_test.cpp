#include "platform/date.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <string>

namespace orvex {
namespace {

struct DateCase {
  CalendarTime time;
  double serial;
};

TEST(DateTest, ConvertsBetweenCalendarFieldsAndSerialValues) {
  const DateCase cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0},
      {{1899, 12, 31, 0, 0, 0, 0}, 1},
      {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
      {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
      {{2000, 2, 29, 0, 0, 0, 0}, 36585},
      {{2026, 12, 9, 18, 0, 0, 0}, 46365.75},
      {{100, 1, 1, 0, 0, 0, 0}, -657434},
      {{9999, 12, 31, 23, 59, 59, 0}, 2958465.999988426},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.serial);
    auto date = Date::FromCalendar(c.time);
    ASSERT_TRUE(date.has_value());
    EXPECT_NEAR(date->serial(), c.serial, 1e-9);
    EXPECT_EQ(Date(c.serial).ToCalendar(), c.time);
  }
}

TEST(DateTest, RejectsFieldsOutOfRange) {
  const CalendarTime invalid[] = {
      {2026, 13, 1, 0, 0, 0, 0}, {2026, 4, 31, 0, 0, 0, 0}, {2026, 2, 29, 0, 0, 0, 0},
      {2026, 1, 1, 24, 0, 0, 0}, {2026, 1, 1, 0, 60, 0, 0}, {99, 1, 1, 0, 0, 0, 0},
  };
  for (const auto& time : invalid) EXPECT_FALSE(Date::FromCalendar(time).has_value());
}

TEST(DateTest, NowAndPosixTimeAgreeInLocalTime) {
  std::time_t posix = std::time(nullptr);
  Date from_posix = Date::FromTimeT(posix);
  EXPECT_EQ(from_posix.ToTimeT(), posix);
  EXPECT_NEAR(Date::Now().serial(), from_posix.serial(), 5.0 / 86400);
}

// The local time a Date stands for is the one mktime gives, in zones with
// summer time, with half-hour changes, with odd offsets, far in the past and
// the future, and at every minute around each change of offset (times that
// do not exist, times shown twice).
TEST(DateTest, PosixTimeIsMktimesInEveryKindOfZone) {
  const char* const previous = std::getenv("TZ");
  const std::optional<std::string> restore = previous ? std::optional<std::string>(previous) : std::nullopt;
  const auto mktime_of = [](const CalendarTime& t) {
    std::tm local{};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;
    return std::mktime(&local);
  };
  // The local fields of `moment`, and the same fields `shift` minutes on
  // (without asking the zone whether such a local time exists).
  const auto check = [&](std::time_t moment, int shift = 0) {
    std::tm fields{};
    ASSERT_NE(localtime_r(&moment, &fields), nullptr);
    const int minutes = fields.tm_hour * 60 + fields.tm_min + shift;
    if (minutes < 0 || minutes >= 24 * 60) return;
    CalendarTime t{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, minutes / 60, minutes % 60,
                   fields.tm_sec > 59 ? 59 : fields.tm_sec, 0};
    const auto date = Date::FromCalendar(t);
    ASSERT_TRUE(date.has_value());
    ASSERT_EQ(date->ToTimeT(), mktime_of(t)) << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":"
                                             << t.minute << ":" << t.second;
  };
  std::mt19937_64 random(11);
  for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata", "Australia/Lord_Howe",
                           "Pacific/Chatham", "America/Sao_Paulo", "Europe/Moscow", "XST3XDT,M3.5.0/2,M10.5.0/3"}) {
    SCOPED_TRACE(zone);
    ::setenv("TZ", zone, 1);
    ::tzset();
    // Random moments from 1901 to 2099.
    std::uniform_int_distribution<std::int64_t> anywhere(-2'177'452'800, 4'102'444'799);
    for (int sample = 0; sample < 20'000; ++sample) check(static_cast<std::time_t>(anywhere(random)));
    // Every change of offset between 1970 and 2040, and each quarter hour
    // (also as fields that do not exist or exist twice) three hours on
    // either side of it.
    std::tm fields{};
    std::time_t before = 0;
    localtime_r(&before, &fields);
    long offset = fields.tm_gmtoff;
    for (std::time_t moment = 3600; moment < 2'208'988'800; moment += 3600) {
      localtime_r(&moment, &fields);
      if (fields.tm_gmtoff == offset) continue;
      offset = fields.tm_gmtoff;
      for (std::time_t near = moment - 3 * 3600; near <= moment + 3 * 3600; near += 900) {
        // Also the fields half an hour and an hour on: across the change
        // they name local times that are missing or shown twice.
        for (const int shift : {0, 30, 60, -30, -60}) check(near, shift);
      }
    }
    if (::testing::Test::HasFailure()) break;
  }
  if (restore) {
    ::setenv("TZ", restore->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace orvex
