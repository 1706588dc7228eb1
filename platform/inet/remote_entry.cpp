#include "platform/inet/remote_entry.h"

#include <cstdint>
#include <ctime>
#include <limits>

#include "platform/calendar.h"
#include "platform/inet/listing/listing_text.h"

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
  if (utc.month < 1 || utc.month > 12) return utc;
  const std::int64_t moment = calendar::DaysFromCivil(utc.year, utc.month, utc.day) * 86400 +
                              std::int64_t{utc.hour} * 3600 + utc.minute * 60 + utc.second;
  // Zones change their offset at quarter hours of UTC at the finest, so the
  // zone rules are asked once per quarter hour that the entries fall into
  // (a listing's entries mostly share few), not once per entry.
  thread_local std::int64_t cached_quarter = std::numeric_limits<std::int64_t>::min();
  thread_local long cached_offset = 0;
  const std::int64_t quarter = moment >= 0 ? moment / 900 : (moment - 899) / 900;
  if (quarter != cached_quarter) {
    const auto time = static_cast<std::time_t>(moment);
    std::tm local{};
    if (!localtime_r(&time, &local)) return utc;
    cached_quarter = quarter;
    cached_offset = local.tm_gmtoff;
  }
  return listing_text::CivilFromUnixSeconds(moment + cached_offset);
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
