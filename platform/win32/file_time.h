#pragma once
// FILETIME (100-nanosecond intervals since 1601-01-01) and its calendar form.
// Neither carries a time zone: the conversions below only change the form of
// the value, never its zone.

#include "platform/win32/types.h"

namespace orvex::win32 {

struct FILETIME {
  DWORD dwLowDateTime = 0;
  DWORD dwHighDateTime = 0;
};

struct SYSTEMTIME {
  WORD wYear = 0;
  WORD wMonth = 0;
  WORD wDayOfWeek = 0;  // 0 = Sunday
  WORD wDay = 0;
  WORD wHour = 0;
  WORD wMinute = 0;
  WORD wSecond = 0;
  WORD wMilliseconds = 0;
};

// False (and ERROR_INVALID_PARAMETER) for a null argument or a time after
// year 30827.
BOOL FileTimeToSystemTime(const FILETIME* file_time, SYSTEMTIME* system_time);

// False (and ERROR_INVALID_PARAMETER) for fields out of range or a year before
// 1601; wDayOfWeek is ignored.
BOOL SystemTimeToFileTime(const SYSTEMTIME* system_time, FILETIME* file_time);

}  // namespace orvex::win32
