#pragma once
// Windows code page 1252 (Western European), the single-byte character set the
// stored text forms were written in.

#include <string>
#include <string_view>

namespace orvex::text {

// Converts UTF-8 text to code page 1252, one byte per character.
//
// A character with no code in the page becomes "?" (no best-fit substitutes:
// "ā" gives "?", not "a"); a character outside the Basic Multilingual Plane is
// one character and gives one "?". Invalid UTF-8 is read as Utf8ToUtf16 reads
// it, so each invalid byte gives one "?". The C1 controls U+0081, U+008D,
// U+008F, U+0090 and U+009D map to the bytes of the same value, the other C1
// controls to "?".
std::string Utf8ToCodePage1252(std::string_view utf8);

// Converts code page 1252 bytes to UTF-8. Every byte has a character: the five
// bytes the page leaves undefined (81, 8D, 8F, 90, 9D) give the C1 control of
// the same value, as Windows converts them. So any byte string survives a
// round trip through CodePage1252ToUtf8 and Utf8ToCodePage1252 unchanged.
std::string CodePage1252ToUtf8(std::string_view bytes);

}  // namespace orvex::text
