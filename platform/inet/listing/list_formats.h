// The LIST line formats ParseListLine understands, one parser each. Each
// returns nullopt for a line that is not an entry in its own format, so the
// dispatcher can try them in turn. `names` says whether an entry whose name
// is not safe (listing_text::IsSafeName) is left out or returned as listed.
#ifndef ORVEX_PLATFORM_INET_LISTING_LIST_FORMATS_H_
#define ORVEX_PLATFORM_INET_LISTING_LIST_FORMATS_H_

#include <optional>
#include <string_view>

#include "platform/inet/listing/listing_entry.h"

namespace orvex::inet::list_formats {

// "ls -l" as Unix servers send it:
//   "-rw-r--r--   1 owner group  1234 Dec  9 23:28 name"
//   "lrwxrwxrwx   1 0     0         9 Mar  4  2020 link -> target"
enum class Names { SafeOnly, AsListed };

std::optional<ListingEntry> ParseUnixLine(std::string_view line,
                                          const CivilTime& now, Names names = Names::SafeOnly);

// DOS style as IIS and other Windows servers send it:
//   "01-02-26  03:04PM       <DIR>          name"
//   "01-02-2026  15:04            123456789 name"
std::optional<ListingEntry> ParseWindowsLine(std::string_view line, Names names = Names::SafeOnly);

// EPLF: "+i8388621.29609,m824255902,/,\tname" (facts, a tab, the name).
std::optional<ListingEntry> ParseEplfLine(std::string_view line, Names names = Names::SafeOnly);

}  // namespace orvex::inet::list_formats

#endif  // ORVEX_PLATFORM_INET_LISTING_LIST_FORMATS_H_
