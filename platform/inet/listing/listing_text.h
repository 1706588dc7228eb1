// Small text and calendar helpers shared by the listing parsers. Everything
// here works on string_views into the caller's line and never reads past
// their ends.
#ifndef ORVEX_PLATFORM_INET_LISTING_LISTING_TEXT_H_
#define ORVEX_PLATFORM_INET_LISTING_LISTING_TEXT_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/inet/listing/listing_entry.h"

namespace orvex::inet::listing_text {

// The line without the CR and LF bytes a caller may have left at its end.
// Other trailing bytes (spaces in names) are kept.
std::string_view StripLineEnd(std::string_view line);

// True when a parser may hand the name on: not empty, and free of the bytes
// that would let a listed name reach outside the listed folder ('/', '\\')
// or cut a name short on its way through C interfaces (NUL).
bool IsSafeName(std::string_view name);

// IsSafeName, or only "not empty" for a caller that wants unsafe names as
// listed (to report them, never to use them).
bool AcceptsName(std::string_view name, bool as_listed);

// All-digit text to an unsigned 64-bit number; nullopt for empty text, any
// other byte, or a value that does not fit.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text);

// Exactly `digits` decimal digits at the front of `text` (no sign); nullopt
// when text is shorter or holds anything else there.
std::optional<int> ParseFixedDigits(std::string_view text, std::size_t digits);

bool EqualsIgnoringCase(std::string_view left, std::string_view right);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);


// True when year (1..9999), month, day, hour (0..23), minute (0..59) and
// second (0..59) name a real moment of the proleptic Gregorian calendar.
bool IsValidCivilTime(const CivilTime& time);

// The UTC time of a count of seconds since 1970-01-01 (EPLF's Unix times,
// and the engine's local times once shifted by the zone's offset).
CivilTime CivilFromUnixSeconds(std::int64_t seconds);

// Splits off the next run of non-blank bytes. `rest` loses the leading
// blanks and the token; an empty result means the text held only blanks.
std::string_view NextToken(std::string_view& rest);

}  // namespace orvex::inet::listing_text

#endif  // ORVEX_PLATFORM_INET_LISTING_LISTING_TEXT_H_
