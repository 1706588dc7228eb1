#pragma once
// Conversion between UTF-8 text and UTF-16 code units.
//
// Stored forms that came from a platform whose strings were UTF-16 hold their
// text as two bytes per code unit, low byte first; these routines move text
// between that world and the UTF-8 strings used everywhere else.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvex::text {

// The replacement character that stands in for anything that cannot be
// converted.
inline constexpr char16_t kReplacementCharacter = u'\uFFFD';

// Converts UTF-8 to UTF-16 code units. Characters outside the Basic
// Multilingual Plane become a surrogate pair.
//
// Never fails: every byte that does not belong to a well-formed UTF-8 sequence
// becomes one U+FFFD, and decoding resumes at the next byte. Ill-formed means a
// stray continuation byte, a lead byte without enough continuation bytes, an
// overlong form, an encoded surrogate (U+D800 to U+DFFF), a value above
// U+10FFFF, and the bytes C0, C1 and F5 to FF. So "a\xE2\x82" gives
// u"a\uFFFD\uFFFD", and a truncated sequence never swallows the byte after it.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Converts UTF-16 code units to UTF-8. A surrogate pair becomes the one
// character it encodes; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// The code units as bytes, two per unit, low byte first (UTF-16LE).
std::vector<std::uint8_t> ToLittleEndianBytes(std::u16string_view utf16);

// Reads bytes as UTF-16LE code units, two bytes per unit. An odd last byte is
// not a whole unit and is left out.
std::u16string FromLittleEndianBytes(const std::vector<std::uint8_t>& bytes);

}  // namespace orvex::text
