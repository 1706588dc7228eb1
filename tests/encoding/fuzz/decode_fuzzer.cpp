// Feeds arbitrary stored values to Decode. The first byte picks the settings,
// so the plain-byte form, other group widths and the skipped check sums are
// explored too; the rest is the stored value. Whatever Decode returns must
// encode and decode back to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "encoding/encoding.h"
#include "resources/version_info.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t settings = data[0];
  const std::string_view stored(reinterpret_cast<const char*>(data + 1), size - 1);

  // One object for the whole run, as a connection keeps one for its life.
  static orvex::encoding::cEncoding encoding;
  // Widths -1 to 14 cover the failing ones, the text forms and the byte form.
  encoding.Disposition((settings & 0x0F) - 1);
  encoding.Binary((settings & 0x10) != 0);
  encoding.SkipFileCRC((settings & 0x20) != 0);
  encoding.SkipDataCRC((settings & 0x40) != 0);
  encoding.LowLimit((settings & 0x80) != 0 ? 0 : 48);

  const std::string text = encoding.Decode(stored, orvex::version::kApplicationTitle);
  if (!text.empty()) {
    const std::string again = encoding.Encode(text, orvex::version::kApplicationTitle);
    if (again.empty() || encoding.Decode(again, orvex::version::kApplicationTitle) != text) std::abort();
  }
  return 0;
}
