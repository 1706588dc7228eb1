#include "platform/text/code_page_1252.h"

#include <array>

#include "platform/text/utf16.h"

namespace orvex::text {
namespace {

// Bytes 80 to 9F, the only range where the page differs from Latin-1. The five
// undefined bytes map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char16_t ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControlRange[byte - 0x80];
  return byte;
}

char ToByte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (std::size_t i = 0; i < kHighControlRange.size(); ++i) {
    if (kHighControlRange[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string Utf8ToCodePage1252(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string bytes;
  bytes.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    // Utf8ToUtf16 only produces surrogates in pairs; a pair is one character.
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      bytes.push_back('?');
      ++i;
      continue;
    }
    bytes.push_back(ToByte(unit));
  }
  return bytes;
}

std::string CodePage1252ToUtf8(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size());
  for (const char byte : bytes) units.push_back(ToUnicode(static_cast<unsigned char>(byte)));
  return Utf16ToUtf8(units);
}

}  // namespace orvex::text
