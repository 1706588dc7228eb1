// Windows file times: the 100-ns count since 1601 that listings carry, and the
// calendar form the plug-in turns it into.

#include <gtest/gtest.h>

#include "platform/win32/file_time.h"
#include "platform/win32/last_error.h"
#include "platform/win32/error_numbers.h"

namespace orvex::win32 {
namespace {

TEST(FileTimes, RoundTripAndRefuseNonsense) {
  const SYSTEMTIME original{2026, 2, 0, 28, 23, 59, 58, 0};
  FILETIME file_time;
  ASSERT_TRUE(SystemTimeToFileTime(&original, &file_time));
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToSystemTime(&file_time, &back));
  EXPECT_EQ(back.wYear, 2026);
  EXPECT_EQ(back.wMonth, 2);
  EXPECT_EQ(back.wDay, 28);
  EXPECT_EQ(back.wDayOfWeek, 6);  // a Saturday
  EXPECT_EQ(back.wHour, 23);
  EXPECT_EQ(back.wMinute, 59);
  EXPECT_EQ(back.wSecond, 58);

  const FILETIME origin{};
  ASSERT_TRUE(FileTimeToSystemTime(&origin, &back));
  EXPECT_EQ(back.wYear, 1601);
  EXPECT_EQ(back.wMonth, 1);
  EXPECT_EQ(back.wDay, 1);

  const SYSTEMTIME february_30{2026, 2, 0, 30, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&february_30, &file_time));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace orvex::win32
