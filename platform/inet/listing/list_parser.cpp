// Picks the LIST format by the line's first byte: each format starts with
// something the others never do (a Unix mode letter, a date digit, '+').
#include <optional>
#include <string_view>

#include "platform/inet/listing/list_formats.h"
#include "platform/inet/listing/listing_parser.h"
#include "platform/inet/listing/listing_text.h"

namespace orvex::inet {

std::optional<ListingEntry> ParseListLine(std::string_view line,
                                          const CivilTime& now) {
  line = listing_text::StripLineEnd(line);
  if (line.empty()) return std::nullopt;
  const char first = line.front();
  if (first >= '0' && first <= '9') return list_formats::ParseWindowsLine(line);
  if (first == '+') return list_formats::ParseEplfLine(line);
  return list_formats::ParseUnixLine(line, now);
}

}  // namespace orvex::inet
