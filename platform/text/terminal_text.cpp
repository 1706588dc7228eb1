// Escaping what a terminal would interpret.

#include "platform/text/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace orvex::text {
namespace {

// Length of the valid UTF-8 sequence at `at` and its code point; 0 when the
// bytes there are not one (overlong forms and surrogates included).
std::size_t DecodeUtf8(std::string_view text, std::size_t at, std::uint32_t& code_point) {
  const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
  const unsigned char first = byte(at);
  std::size_t length;
  std::uint32_t minimum;
  if (first < 0x80) {
    code_point = first;
    return 1;
  } else if ((first & 0xE0) == 0xC0) {
    length = 2, code_point = first & 0x1F, minimum = 0x80;
  } else if ((first & 0xF0) == 0xE0) {
    length = 3, code_point = first & 0x0F, minimum = 0x800;
  } else if ((first & 0xF8) == 0xF0) {
    length = 4, code_point = first & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t index = 1; index < length; ++index) {
    if ((byte(at + index) & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(at + index) & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) return 0;
  return length;
}

bool IsHarmful(std::uint32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F) ||
         (code_point >= 0x202A && code_point <= 0x202E) || (code_point >= 0x2066 && code_point <= 0x2069) ||
         code_point == 0x200E || code_point == 0x200F || code_point == 0x061C;
}

void AppendEscape(std::string& out, std::uint32_t value, bool code_point) {
  char escape[16];
  if (!code_point || value < 0x80) {
    switch (value) {
      case '\t': out += "\\t"; return;
      case '\n': out += "\\n"; return;
      case '\r': out += "\\r"; return;
      default: std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(value));
    }
  } else {
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(value));
  }
  out += escape;
}

// Zero-width combining marks and joiners, roughly as wcwidth() sees them.
bool IsZeroWidth(std::uint32_t code_point) {
  return (code_point >= 0x0300 && code_point <= 0x036F) || (code_point >= 0x1AB0 && code_point <= 0x1AFF) ||
         (code_point >= 0x1DC0 && code_point <= 0x1DFF) || (code_point >= 0x20D0 && code_point <= 0x20FF) ||
         (code_point >= 0xFE20 && code_point <= 0xFE2F) || code_point == 0x200B || code_point == 0x200C ||
         code_point == 0x200D || code_point == 0xFEFF || (code_point >= 0xFE00 && code_point <= 0xFE0F);
}

// Letters a terminal shows two columns wide (East Asian Wide and Fullwidth,
// and the emoji blocks).
bool IsWide(std::uint32_t code_point) {
  return (code_point >= 0x1100 && code_point <= 0x115F) || (code_point >= 0x2E80 && code_point <= 0x303E) ||
         (code_point >= 0x3041 && code_point <= 0x33FF) || (code_point >= 0x3400 && code_point <= 0x4DBF) ||
         (code_point >= 0x4E00 && code_point <= 0x9FFF) || (code_point >= 0xA000 && code_point <= 0xA4CF) ||
         (code_point >= 0xAC00 && code_point <= 0xD7A3) || (code_point >= 0xF900 && code_point <= 0xFAFF) ||
         (code_point >= 0xFE30 && code_point <= 0xFE4F) || (code_point >= 0xFF00 && code_point <= 0xFF60) ||
         (code_point >= 0xFFE0 && code_point <= 0xFFE6) || (code_point >= 0x1F300 && code_point <= 0x1F64F) ||
         (code_point >= 0x1F900 && code_point <= 0x1F9FF) || (code_point >= 0x20000 && code_point <= 0x3FFFD);
}

// The columns of the character at `at` and its length in bytes (a byte that
// is not UTF-8 counts as one column).
std::size_t CharacterWidth(std::string_view text, std::size_t at, std::size_t& length) {
  std::uint32_t code_point = 0;
  length = DecodeUtf8(text, at, code_point);
  if (length == 0) {
    length = 1;
    return 1;
  }
  if (IsZeroWidth(code_point)) return 0;
  return IsWide(code_point) ? 2 : 1;
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) width += CharacterWidth(text, at, length);
  return width;
}

std::string FitToColumns(std::string_view text, std::size_t columns) {
  if (DisplayWidth(text) <= columns) return std::string(text);
  const std::string_view ellipsis = columns >= 3 ? "..." : "";
  const std::size_t room = columns - ellipsis.size();
  std::size_t width = 0, at = 0;
  for (std::size_t length = 0; at < text.size(); at += length) {
    const std::size_t next = CharacterWidth(text, at, length);
    if (width + next > room) break;
    width += next;
  }
  return std::string(text.substr(0, at)) + std::string(ellipsis);
}

std::string TerminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeUtf8(text, at, code_point);
    if (length == 0) {
      AppendEscape(out, static_cast<unsigned char>(text[at]), false);
      ++at;
    } else if (IsHarmful(code_point)) {
      AppendEscape(out, code_point, true);
      at += length;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

bool IsTerminalSafe(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    std::uint32_t code_point = 0;
    const std::size_t length = DecodeUtf8(text, at, code_point);
    if (length == 0 || IsHarmful(code_point)) return false;
    at += length;
  }
  return true;
}

}  // namespace orvex::text
