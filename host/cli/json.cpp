// Escaping texts for JSON output.

#include "host/cli/json.h"

#include <cstdio>

namespace orvex::cli {
namespace {

// Length of the valid UTF-8 sequence at `position`, 0 when it is not one.
std::size_t SequenceLength(std::string_view text, std::size_t position) {
  const auto lead = static_cast<unsigned char>(text[position]);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (position + length > text.size()) return 0;
  for (std::size_t index = 1; index < length; ++index) {
    const auto next = static_cast<unsigned char>(text[position + index]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string json;
  AppendJsonString(json, text);
  return json;
}

void AppendJsonString(std::string& json, std::string_view text) {
  json += '"';
  for (std::size_t position = 0; position < text.size();) {
    const auto c = static_cast<unsigned char>(text[position]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      // A run of plain characters goes in as one piece.
      std::size_t end = position + 1;
      while (end < text.size()) {
        const auto next = static_cast<unsigned char>(text[end]);
        if (next < 0x20 || next >= 0x7F || next == '"' || next == '\\') break;
        ++end;
      }
      json.append(text, position, end - position);
      position = end;
      continue;
    }
    if (c >= 0x80) {
      const std::size_t length = SequenceLength(text, position);
      if (length == 0) {
        json += "\xEF\xBF\xBD";
        ++position;
      } else {
        json.append(text, position, length);
        position += length;
      }
      continue;
    }
    switch (c) {
      case '"': json += "\\\""; break;
      case '\\': json += "\\\\"; break;
      case '\n': json += "\\n"; break;
      case '\r': json += "\\r"; break;
      case '\t': json += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          json += escaped;
        } else {
          json += static_cast<char>(c);
        }
    }
    ++position;
  }
  json += '"';
}

}  // namespace orvex::cli
