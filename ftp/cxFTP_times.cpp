// True modification times: the time zone of LIST dates, and setting a
// remote file's time.

#include "ftp/cxFTP.h"
#include "platform/inet/wininet.h"
#include "ftp/listing_time_zone.h"

namespace orvex {

using namespace orvex::wininet;

namespace {

// Files tried per connection before the listing's zone counts as unknown.
constexpr int kOffsetProbeFiles = 3;

bool HasTime(const win32::FILETIME& time) {
  return time.dwLowDateTime != 0 || time.dwHighDateTime != 0;
}

CalendarTime ToCivil(const win32::FILETIME& time) {
  win32::SYSTEMTIME fields;
  FileTimeToSystemTime(&time, &fields);
  return {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

CalendarTime ToCivil(const win32::SYSTEMTIME& fields) {
  return {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond};
}

void SetDate(const auto& item, Date date) {
  if (item) item->DateModified(date);
}

}  // namespace

std::uint32_t cxFTP::ServerTraits() {
  DWORD traits = 0;
  if (hConnection_ == 0 || !FtpGetServerTraits(hConnection_, &traits)) return 0;
  return traits;
}

void cxFTP::ApplyListingTimes(std::vector<ListedTime>& listed) {
  const std::uint32_t traits = ServerTraits();
  if (traits & FTP_TRAIT_MACHINE_LISTING) {
    // MLSD times are UTC and arrive as local times already; only a server
    // that lies about them needs the owner's correction.
    if (!offset_override_) return;
    for (auto& entry : listed) {
      if (!HasTime(entry.time)) continue;
      const auto local = entry.file ? entry.file->DateModified() : entry.folder->DateModified();
      const Date corrected = Date::FromTimeT(local.ToTimeT() - *offset_override_ * 60);
      SetDate(entry.file, corrected);
      SetDate(entry.folder, corrected);
    }
    return;
  }

  const bool file_times = (traits & FTP_TRAIT_FILE_TIMES) != 0;
  if (!offset_override_ && !detected_offset_ && !offset_probed_ && file_times) {
    int tried = 0;
    for (const auto& entry : listed) {
      if (!entry.file || !HasTime(entry.time)) continue;
      if (tried++ == kOffsetProbeFiles) break;
      offset_probed_ = true;
      win32::SYSTEMTIME utc;
      if (!FtpGetFileTimeA(hConnection_, entry.name.c_str(), &utc)) {
        // A file the server will not date is skipped; a lost connection
        // ends the attempt (the next operation reconnects).
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNET_EXTENDED_ERROR &&
            error != ERROR_INTERNET_INVALID_SERVER_RESPONSE) {
          break;
        }
        continue;
      }
      detected_offset_ = ListingOffsetMinutes(ToCivil(entry.time), ToCivil(utc));
      if (detected_offset_) break;
    }
  }
  const std::optional<int> offset = ListingOffsetInUse();
  if (!offset) return;  // no way to know the zone: the times as shown

  for (auto& entry : listed) {
    if (!HasTime(entry.time)) continue;
    const CalendarTime shown = ToCivil(entry.time);
    const auto epoch = CivilToEpoch(shown);
    if (!epoch) continue;
    Date date = Date::FromTimeT(*epoch - static_cast<std::time_t>(*offset) * 60);
    // A date without a time of day (how `ls -l` shows older files) is only
    // the day: MDTM knows the second.
    if (entry.file && file_times && shown.hour == 0 && shown.minute == 0 && shown.second == 0) {
      win32::SYSTEMTIME utc;
      if (FtpGetFileTimeA(hConnection_, entry.name.c_str(), &utc)) {
        if (const auto exact = CivilToEpoch(ToCivil(utc))) date = Date::FromTimeT(*exact - ClockShift());
      }
    }
    SetDate(entry.file, date);
    SetDate(entry.folder, date);
  }
}

bool cxFTP::SetFileTime(const std::string& FilePath, Date Modified) {
  OperationScope scope(*this);
  const CalendarTime utc = EpochToCivil(Modified.ToTimeT() + ClockShift());
  win32::SYSTEMTIME fields;
  fields.wYear = static_cast<WORD>(utc.year);
  fields.wMonth = static_cast<WORD>(utc.month);
  fields.wDay = static_cast<WORD>(utc.day);
  fields.wHour = static_cast<WORD>(utc.hour);
  fields.wMinute = static_cast<WORD>(utc.minute);
  fields.wSecond = static_cast<WORD>(utc.second);
  if (!FtpSetFileTimeA(hConnection_, ServerPath(FilePath).c_str(), &fields)) {
    if (HandleError(GetLastError())) return SetFileTime(FilePath, Modified);
    return false;
  }
  return true;
}

}  // namespace orvex
