// Picks the LIST format by the line's first byte: each format starts with
// something the others never do (a Unix mode letter, a date digit, '+').
#include <optional>
#include <string_view>

#include "platform/inet/listing/list_formats.h"
#include "platform/inet/listing/listing_parser.h"
#include "platform/inet/listing/listing_text.h"

namespace orvex::inet {

namespace {

std::optional<ListingEntry> ParseList(std::string_view line, const CivilTime& now, list_formats::Names names) {
  line = listing_text::StripLineEnd(line);
  if (line.empty()) return std::nullopt;
  const char first = line.front();
  if (first >= '0' && first <= '9') return list_formats::ParseWindowsLine(line, names);
  if (first == '+') return list_formats::ParseEplfLine(line, names);
  return list_formats::ParseUnixLine(line, now, names);
}

}  // namespace

std::optional<ListingEntry> ParseListLine(std::string_view line,
                                          const CivilTime& now) {
  return ParseList(line, now, list_formats::Names::SafeOnly);
}

std::optional<ListingEntry> ParseListLineAsListed(std::string_view line, const CivilTime& now) {
  return ParseList(line, now, list_formats::Names::AsListed);
}

}  // namespace orvex::inet
