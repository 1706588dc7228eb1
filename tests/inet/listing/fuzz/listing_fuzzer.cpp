// libFuzzer entry: every input is one listing line for both parsers. The
// first bytes also pick the server's "today", so odd calendars get fuzzed
// too. Any entry that comes back must carry a safe, non-empty name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/inet/listing/listing_parser.h"

namespace {

void CheckName(const std::optional<orvex::inet::ListingEntry>& entry) {
  if (!entry) return;
  if (entry->name.empty() ||
      entry->name.find_first_of(std::string_view("/\\\0", 3)) !=
          std::string::npos) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  orvex::inet::CivilTime now{2026, 12, 9, 23, 29, 0};
  if (size >= 4 && data[0] == 0xFF) {
    // Pick an arbitrary today from the next bytes.
    std::int16_t year = 0;
    std::memcpy(&year, data + 1, sizeof year);
    now = {year, data[3] % 14, 29, 12, 0, 0};
  }
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  CheckName(orvex::inet::ParseListLine(line, now));
  CheckName(orvex::inet::ParseMlsdLine(line));
  return 0;
}
