#include "platform/inet/remote_entry.h"

#include <ctime>

namespace orvex::inet {
namespace {

win32::FILETIME ToFileTime(const CivilTime& time) {
  win32::SYSTEMTIME system_time;
  system_time.wYear = static_cast<win32::WORD>(time.year);
  system_time.wMonth = static_cast<win32::WORD>(time.month);
  system_time.wDay = static_cast<win32::WORD>(time.day);
  system_time.wHour = static_cast<win32::WORD>(time.hour);
  system_time.wMinute = static_cast<win32::WORD>(time.minute);
  system_time.wSecond = static_cast<win32::WORD>(time.second);
  win32::FILETIME file_time;
  if (!win32::SystemTimeToFileTime(&system_time, &file_time)) return {};
  return file_time;
}

CivilTime UtcToLocal(const CivilTime& utc) {
  std::tm fields{};
  fields.tm_year = utc.year - 1900;
  fields.tm_mon = utc.month - 1;
  fields.tm_mday = utc.day;
  fields.tm_hour = utc.hour;
  fields.tm_min = utc.minute;
  fields.tm_sec = utc.second;
  const std::time_t moment = timegm(&fields);
  std::tm local{};
  if (moment == static_cast<std::time_t>(-1) || !localtime_r(&moment, &local)) {
    return utc;
  }
  return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace

std::optional<RemoteEntry> ToRemoteEntry(const ListingEntry& entry) {
  if (entry.name.empty() || entry.name.size() > kMaximumNameLength ||
      entry.name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    return std::nullopt;
  }
  RemoteEntry result;
  switch (entry.type) {
    case EntryType::Directory:
      result.attributes = kAttributeDirectory;
      break;
    case EntryType::File:
      result.attributes = kAttributeNormal;
      break;
    case EntryType::Link:
      result.attributes = kAttributeReparsePoint;
      break;
    case EntryType::Other:
      return std::nullopt;
  }
  result.name = entry.name;
  result.size = entry.type == EntryType::Directory ? 0 : entry.size;
  if (entry.has_time) {
    result.last_write_time =
        ToFileTime(entry.time_is_utc ? UtcToLocal(entry.time) : entry.time);
  }
  return result;
}

std::optional<OmittedEntry> OmissionOf(const ListingEntry& entry) {
  if (entry.name.empty()) return std::nullopt;  // nothing to name
  OmittedEntry omitted{entry.name, Omission::UnusableName, entry.type == EntryType::Directory};
  if (entry.name.size() > kMaximumNameLength ||
      entry.name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    return omitted;
  }
  if (entry.type == EntryType::Other) {
    omitted.reason = Omission::NotAFile;
    return omitted;
  }
  return std::nullopt;
}

}  // namespace orvex::inet
