// Parsers for the lines of an FTP directory listing. Each call looks at one
// line (without its CR LF) and either returns an entry or nullopt; they keep
// no state, never throw and never read outside the given view, whatever
// bytes the server sent.
#ifndef ORVEX_PLATFORM_INET_LISTING_LISTING_PARSER_H_
#define ORVEX_PLATFORM_INET_LISTING_LISTING_PARSER_H_

#include <optional>
#include <string_view>

#include "platform/inet/listing/listing_entry.h"

namespace orvex::inet {

// One MLSD/MLST facts line ("type=file;size=12;modify=20260101120000; name").
// Fact names and values are matched case-insensitively, unknown facts are
// ignored. Returns nullopt for a line that cannot be used, and for cdir/pdir
// entries (the listed folder itself and its parent).
std::optional<ListingEntry> ParseMlsdLine(std::string_view line);

// One LIST line in any supported format: Unix "ls -l" family, Windows/IIS DOS
// style and EPLF. `now` (server-local calendar time) resolves year-less Unix
// dates ("Jan  2 10:00") to the most recent past year; a date up to one day
// ahead of `now` still counts as this year, to absorb clock skew and time
// zones between the server and us. Entries named "." and ".." are returned as
// listed (the caller decides). Returns nullopt for lines that are not entries
// ("total 12", blank lines, unparsable lines).
std::optional<ListingEntry> ParseListLine(std::string_view line,
                                          const CivilTime& now);

// The same two, except that an entry whose name is not safe (it holds "/",
// "\" or NUL) is returned as listed instead of being left out: for a caller
// that must say what it leaves out, and never uses such a name as a path.
std::optional<ListingEntry> ParseMlsdLineAsListed(std::string_view line);
std::optional<ListingEntry> ParseListLineAsListed(std::string_view line, const CivilTime& now);

}  // namespace orvex::inet

#endif  // ORVEX_PLATFORM_INET_LISTING_LISTING_PARSER_H_
