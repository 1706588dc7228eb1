// EPLF ("Easily Parsed LIST Format", publicfile and a few embedded servers):
//   "+i8388621.29609,m824255902,/,\tdev"
//   "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF"
// '+', facts separated by ',', a tab, then the name verbatim. The time is
// seconds since 1970 in UTC.
#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/listing/list_formats.h"
#include "platform/inet/listing/listing_text.h"

namespace orvex::inet::list_formats {

namespace {

// 9999-12-31 23:59:59 UTC: the last second a CivilTime can carry.
constexpr std::uint64_t kLatestUnixSecond = 253402300799;

}  // namespace

std::optional<ListingEntry> ParseEplfLine(std::string_view line, Names names) {
  if (line.empty() || line.front() != '+') return std::nullopt;
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  std::string_view facts = line.substr(1, tab - 1);
  const std::string_view name = line.substr(tab + 1);
  if (!listing_text::AcceptsName(name, names == Names::AsListed)) return std::nullopt;

  bool can_enter = false;
  bool can_retrieve = false;
  ListingEntry entry;
  while (!facts.empty()) {
    const std::size_t comma = facts.find(',');
    const std::string_view fact = facts.substr(0, comma);
    facts = comma == std::string_view::npos ? std::string_view()
                                            : facts.substr(comma + 1);
    if (fact.empty()) continue;
    const std::string_view value = fact.substr(1);
    switch (fact.front()) {
      case '/': can_enter = true; break;
      case 'r': can_retrieve = true; break;
      case 's':
        if (const auto size = listing_text::ParseUnsigned(value)) {
          entry.size = *size;
        }
        break;
      case 'm':
        if (const auto seconds = listing_text::ParseUnsigned(value);
            seconds && *seconds <= kLatestUnixSecond) {
          entry.time = listing_text::CivilFromUnixSeconds(
              static_cast<std::int64_t>(*seconds));
          entry.has_time = true;
          entry.time_is_utc = true;
        }
        break;
      default: break;  // identifiers, permissions and future facts
    }
  }
  entry.type = can_enter      ? EntryType::Directory
               : can_retrieve ? EntryType::File
                              : EntryType::Other;
  if (entry.type == EntryType::Directory) entry.size = 0;
  entry.name = std::string(name);
  return entry;
}

}  // namespace orvex::inet::list_formats
