#include "platform/com/guid.h"

#include <cstdio>

namespace orvex::com {

std::optional<GUID> ParseGuid(std::string_view text) { return detail::ParseGuid(text); }

std::string FormatGuid(const GUID& guid) {
  char buffer[39];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.data1), static_cast<unsigned>(guid.data2),
                static_cast<unsigned>(guid.data3), guid.data4[0], guid.data4[1], guid.data4[2],
                guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return buffer;
}

}  // namespace orvex::com
