#pragma once
// The time zone of a server's LIST dates.
//
// LIST shows a file's time on the server's wall clock (vsftpd: UTC by
// default; proftpd and pure-ftpd: the server's local time); MDTM gives the
// same moment in UTC. Comparing the two for one file tells the offset of the
// listing's clock from UTC.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/date.h"

namespace orvex {

// Offsets of real time zones lie within these bounds (UTC-12:00 to UTC+14:00);
// anything further off is not a time zone but a disagreement.
inline constexpr int kEarliestZoneMinutes = -12 * 60;
inline constexpr int kLatestZoneMinutes = 14 * 60;

// The listing's offset from UTC in minutes (listed = UTC + offset), rounded
// to the nearest quarter hour, from the time a listing shows for a file
// (minute resolution, its year possibly guessed one off around New Year) and
// that file's MDTM time (UTC). nullopt when the two cannot belong to one
// moment in a real time zone.
std::optional<int> ListingOffsetMinutes(const CalendarTime& listed, const CalendarTime& utc);

// An offset as people write it: "+05:30", "-0400", "+2", "0", "UTC"
// (minutes east of UTC). nullopt for anything else, or beyond the real zones.
std::optional<int> ParseZoneOffset(std::string_view text);
// "+05:30", "-04:00", "+00:00".
std::string FormatZoneOffset(int minutes);

// Seconds since 1970 of calendar fields taken as UTC; nullopt for fields
// that are no date.
std::optional<std::time_t> CivilToEpoch(const CalendarTime& time);
CalendarTime EpochToCivil(std::time_t epoch);

}  // namespace orvex
