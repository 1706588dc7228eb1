#include "platform/date.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orvex
