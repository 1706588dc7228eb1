// True modification times: the time zone of LIST dates, and setting a
// remote file's time.

#include "ftp/cxFTP.h"
#include "platform/inet/wininet.h"
#include "ftp/listing_time_zone.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <map>
#include <utility>
#include <vector>

namespace orvex {

using namespace orvex::wininet;

namespace {

// Files tried per connection before the listing's zone counts as unknown.
constexpr int kOffsetProbeFiles = 3;
// Two samples of the listing's offset that agree and lie no further apart
// than this hold for every time between them: no zone changes its offset
// twice within three weeks (the shortest gap in use, a month of suspended
// summer time, is longer).
constexpr std::time_t kSteadyZoneSeconds = 21 * 24 * 60 * 60;
// MDTM requests one listing may spend on finding where the offset changes.
constexpr int kZoneProbesPerListing = 64;
constexpr std::time_t kSecondsPerDay = 24 * 60 * 60;

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

// Per listed item, a time or none, in eight bytes an item: a listing of a
// million entries holds one of these while its times are settled.
class ListedSeconds {
 public:
  explicit ListedSeconds(std::size_t count) : seconds_(count, kNone) {}
  std::optional<std::time_t> operator[](std::size_t index) const {
    if (seconds_[index] == kNone) return std::nullopt;
    return seconds_[index];
  }
  void Set(std::size_t index, std::time_t value) { seconds_[index] = value; }

 private:
  static constexpr std::time_t kNone = std::numeric_limits<std::time_t>::min();
  std::vector<std::time_t> seconds_;
};

// The same for the few items MDTM dated: by index, nothing for the rest.
class DatedSeconds {
 public:
  std::optional<std::time_t> operator[](std::size_t index) const {
    const auto found = seconds_.find(index);
    if (found == seconds_.end()) return std::nullopt;
    return found->second;
  }
  void Set(std::size_t index, std::time_t value) { seconds_[index] = value; }

 private:
  std::map<std::size_t, std::time_t> seconds_;
};

template <class Listed>
std::string NameOf(const Listed& entry) {
  return entry.file ? entry.file->Name() : entry.folder->Name();
}

}  // namespace

std::uint32_t cxFTP::ServerTraits() {
  DWORD traits = 0;
  if (hConnection_ == 0 || !FtpGetServerTraits(hConnection_, &traits)) return 0;
  return traits;
}

void cxFTP::ApplyListingTimes(std::deque<ListedTime>& listed) {
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
  // What each listed item shows, read as UTC, and the exact UTC time of the
  // files MDTM dated here.
  ListedSeconds shown(listed.size());
  DatedSeconds exact;
  for (std::size_t index = 0; index < listed.size(); ++index) {
    if (!HasTime(listed[index].time)) continue;
    if (const auto seconds = CivilToEpoch(ToCivil(listed[index].time))) shown.Set(index, *seconds);
  }
  // Dates one file by MDTM and learns the listing's offset at its listed
  // time. False when the server would not date it; `lost` when the
  // connection failed (the next operation reconnects).
  bool lost = false;
  const auto date_by_server = [&](std::size_t index) {
    if (lost) return false;
    win32::SYSTEMTIME utc;
    if (!FtpGetFileTimeA(hConnection_, NameOf(listed[index]).c_str(), &utc)) {
      const DWORD error = GetLastError();
      if (error != ERROR_INTERNET_EXTENDED_ERROR && error != ERROR_INTERNET_INVALID_SERVER_RESPONSE &&
          error != ERROR_INVALID_NAME) {
        lost = true;
      }
      return false;
    }
    // A time that cannot be the listed one in any real zone is a server's
    // mistake, and is not believed over its listing.
    const auto moment = CivilToEpoch(ToCivil(utc));
    const auto offset = ListingOffsetMinutes(ToCivil(listed[index].time), ToCivil(utc));
    if (!moment || !offset) return false;
    exact.Set(index, *moment);
    zone_samples_[*shown[index]] = *offset;
    return true;
  };

  if (!offset_override_ && !detected_offset_ && !offset_probed_ && file_times) {
    int tried = 0;
    for (std::size_t index = 0; index < listed.size() && !lost; ++index) {
      if (!listed[index].file || !shown[index]) continue;
      if (tried++ == kOffsetProbeFiles) break;
      offset_probed_ = true;
      // A file the server will not date is skipped.
      if (date_by_server(index)) detected_offset_ = zone_samples_[*shown[index]];
      if (detected_offset_) break;
    }
  }
  const std::optional<int> offset = ListingOffsetInUse();
  if (!offset) return;  // no way to know the zone: the times as shown

  if (!offset_override_ && file_times) {
    // A zone with daylight saving lists summer and winter files with offsets
    // an hour apart, so the offset learnt from one file is not taken for all:
    // the files are ordered by listed time and MDTM dates more of them,
    // halving the ranges between them, until every file lies between two
    // samples that agree and are close enough that the zone cannot have
    // changed its offset between them. Samples are kept for the connection,
    // so later folders mostly need none. A date without a time of day (how
    // `ls -l` shows older files) is dated by MDTM on its own below.
    // Positions in 32 bits (a listing's positions are, as the host's
    // collections count them), ties in listing order.
    std::vector<std::uint32_t> order;
    for (std::size_t index = 0; index < listed.size(); ++index) {
      if (!listed[index].file || !shown[index] || *shown[index] % kSecondsPerDay == 0) continue;
      order.push_back(static_cast<std::uint32_t>(index));
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      const std::time_t first = *shown[a];
      const std::time_t second = *shown[b];
      return first != second ? first < second : a < b;
    });
    int budget = kZoneProbesPerListing;
    const auto known = [&](std::size_t position) { return SampledOffsetAt(*shown[order[position]]).has_value(); };
    const auto learn = [&](std::size_t position) {
      if (known(position)) return true;
      if (exact[order[position]] || budget == 0) return false;
      --budget;
      date_by_server(order[position]);
      return known(position);
    };
    if (!order.empty() && learn(0) && learn(order.size() - 1)) {
      std::vector<std::pair<std::size_t, std::size_t>> ranges = {{0, order.size() - 1}};
      while (!ranges.empty() && budget > 0 && !lost) {
        const auto [first, last] = ranges.back();
        ranges.pop_back();
        bool settled = true;
        for (std::size_t position = first + 1; position < last && settled; ++position) settled = known(position);
        if (settled) continue;
        const std::size_t middle = first + (last - first) / 2;
        // A file the server will not date leaves its range on the nearest
        // sample's offset.
        if (!learn(middle)) continue;
        ranges.push_back({first, middle});
        ranges.push_back({middle, last});
      }
    }
  }

  for (std::size_t index = 0; index < listed.size(); ++index) {
    auto& entry = listed[index];
    if (!shown[index]) continue;
    std::time_t utc = 0;
    if (exact[index]) {
      utc = *exact[index] - ClockShift();
    } else {
      int listing_offset = *offset;
      if (!offset_override_) {
        listing_offset = SampledOffsetAt(*shown[index]).value_or(NearestSampledOffset(*shown[index]).value_or(*offset));
      }
      utc = *shown[index] - static_cast<std::time_t>(listing_offset) * 60;
      // A date without a time of day (how `ls -l` shows older files) is
      // only the day: MDTM knows the second.
      if (entry.file && file_times && *shown[index] % kSecondsPerDay == 0) {
        win32::SYSTEMTIME moment;
        if (FtpGetFileTimeA(hConnection_, NameOf(entry).c_str(), &moment)) {
          if (const auto dated = CivilToEpoch(ToCivil(moment))) utc = *dated - ClockShift();
        }
      }
    }
    const Date date = Date::FromTimeT(utc);
    SetDate(entry.file, date);
    SetDate(entry.folder, date);
  }
}

std::optional<int> cxFTP::SampledOffsetAt(std::time_t shown) const {
  const auto after = zone_samples_.lower_bound(shown);
  if (after != zone_samples_.end() && after->first == shown) return after->second;
  if (after == zone_samples_.begin() || after == zone_samples_.end()) return std::nullopt;
  const auto before = std::prev(after);
  if (before->second != after->second || after->first - before->first > kSteadyZoneSeconds) return std::nullopt;
  return before->second;
}

std::optional<int> cxFTP::NearestSampledOffset(std::time_t shown) const {
  if (zone_samples_.empty()) return std::nullopt;
  const auto after = zone_samples_.lower_bound(shown);
  if (after == zone_samples_.end()) return std::prev(after)->second;
  if (after == zone_samples_.begin()) return after->second;
  const auto before = std::prev(after);
  return shown - before->first <= after->first - shown ? before->second : after->second;
}

win32::SYSTEMTIME cxFTP::ServerFileTime(Date Modified) const {
  const CalendarTime utc = EpochToCivil(Modified.ToTimeT() + ClockShift());
  win32::SYSTEMTIME fields{};
  fields.wYear = static_cast<WORD>(utc.year);
  fields.wMonth = static_cast<WORD>(utc.month);
  fields.wDay = static_cast<WORD>(utc.day);
  fields.wHour = static_cast<WORD>(utc.hour);
  fields.wMinute = static_cast<WORD>(utc.minute);
  fields.wSecond = static_cast<WORD>(utc.second);
  return fields;
}

bool cxFTP::SetFileTime(const std::string& FilePath, Date Modified) {
  OperationScope scope(*this);
  const win32::SYSTEMTIME fields = ServerFileTime(Modified);
  if (!FtpSetFileTimeA(hConnection_, ServerPath(FilePath).c_str(), &fields)) {
    if (HandleError(GetLastError())) return SetFileTime(FilePath, Modified);
    return false;
  }
  return true;
}

}  // namespace orvex
