#include "platform/text/utf16.h"

namespace orvex::text {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the well-formed sequence starting at `position`, and its value;
// 0 when the byte there does not start one. The ranges of the second byte are
// those that rule out overlong forms, surrogates and values above U+10FFFF.
std::size_t DecodeOne(std::string_view utf8, std::size_t position, char32_t& value) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = at(position);
  const std::size_t remaining = utf8.size() - position;
  if (lead < 0x80) {
    value = lead;
    return 1;
  }
  std::size_t length = 0;
  unsigned char second_low = 0x80;
  unsigned char second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return 0;
  }
  if (remaining < length) return 0;
  const unsigned char second = at(position + 1);
  if (second < second_low || second > second_high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(at(position + i))) return 0;
  }
  char32_t result = lead & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) result = (result << 6) | (at(position + i) & 0x3F);
  value = result;
  return length;
}

void AppendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out.push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (value >> 6)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else if (value < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (value >> 12)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (value >> 18)));
    out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t position = 0;
  while (position < utf8.size()) {
    char32_t value = 0;
    const std::size_t length = DecodeOne(utf8, position, value);
    if (length == 0) {
      out.push_back(kReplacementCharacter);
      ++position;
      continue;
    }
    position += length;
    if (value < 0x10000) {
      out.push_back(static_cast<char16_t>(value));
    } else {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (IsHighSurrogate(unit) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      const char32_t value = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{utf16[i + 1]} - 0xDC00);
      AppendUtf8(out, value);
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::vector<std::uint8_t> ToLittleEndianBytes(std::u16string_view utf16) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(utf16.size() * 2);
  for (const char16_t unit : utf16) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

std::u16string FromLittleEndianBytes(const std::vector<std::uint8_t>& bytes) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return out;
}

}  // namespace orvex::text
