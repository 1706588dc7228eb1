#include "platform/win32/file_time.h"

#include <chrono>
#include <cstdint>

#include "platform/win32/error_numbers.h"
#include "platform/win32/last_error.h"

namespace orvex::win32 {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerMillisecond = 10'000;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;

}  // namespace

BOOL FileTimeToSystemTime(const FILETIME* file_time, SYSTEMTIME* system_time) {
  if (file_time == nullptr || system_time == nullptr ||
      (file_time->dwHighDateTime & 0x80000000u) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFalse;
  }
  const std::int64_t ticks =
      (static_cast<std::int64_t>(file_time->dwHighDateTime) << 32) |
      file_time->dwLowDateTime;
  const std::int64_t seconds = ticks / kTicksPerSecond;
  const std::int64_t days = seconds / 86'400;
  const std::int64_t second_of_day = seconds % 86'400;
  const std::chrono::sys_days day{
      std::chrono::days{days - kDaysFrom1601To1970}};
  const std::chrono::year_month_day date{day};
  if (static_cast<int>(date.year()) > 30827) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFalse;
  }
  system_time->wYear = static_cast<WORD>(static_cast<int>(date.year()));
  system_time->wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
  system_time->wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
  system_time->wDayOfWeek =
      static_cast<WORD>(std::chrono::weekday{day}.c_encoding());
  system_time->wHour = static_cast<WORD>(second_of_day / 3600);
  system_time->wMinute = static_cast<WORD>(second_of_day / 60 % 60);
  system_time->wSecond = static_cast<WORD>(second_of_day % 60);
  system_time->wMilliseconds =
      static_cast<WORD>(ticks % kTicksPerSecond / kTicksPerMillisecond);
  return kTrue;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* system_time, FILETIME* file_time) {
  if (system_time == nullptr || file_time == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFalse;
  }
  const std::chrono::year_month_day date{
      std::chrono::year{system_time->wYear},
      std::chrono::month{system_time->wMonth},
      std::chrono::day{system_time->wDay}};
  if (!date.ok() || system_time->wYear < 1601 || system_time->wYear > 30827 ||
      system_time->wHour > 23 || system_time->wMinute > 59 ||
      system_time->wSecond > 59 || system_time->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kFalse;
  }
  const std::int64_t days =
      std::chrono::sys_days{date}.time_since_epoch().count() +
      kDaysFrom1601To1970;
  const std::int64_t seconds = days * 86'400 + system_time->wHour * 3600 +
                               system_time->wMinute * 60 + system_time->wSecond;
  const std::uint64_t ticks = static_cast<std::uint64_t>(
      seconds * kTicksPerSecond +
      system_time->wMilliseconds * kTicksPerMillisecond);
  file_time->dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffffu);
  file_time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return kTrue;
}

}  // namespace orvex::win32
