#pragma once
// Globally unique identifiers in the layout and registry text form of the
// component model: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvex::com {

struct GUID {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::array<std::uint8_t, 8> data4{};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};

namespace detail {
constexpr int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses the registry form with braces; nullopt for anything else.
constexpr std::optional<GUID> ParseGuid(std::string_view text) {
  // 38 characters: braces, 32 hex digits, 4 dashes at fixed places.
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::uint8_t bytes[16] = {};
  int byte_index = 0;
  for (std::size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int high = HexValue(text[i]);
    int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[byte_index++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  GUID guid;
  guid.data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | bytes[3];
  guid.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (std::size_t i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return guid;
}
}  // namespace detail

// Parses a registry-form identifier; nullopt when the text is not one.
std::optional<GUID> ParseGuid(std::string_view text);

// Upper-case registry form with braces.
std::string FormatGuid(const GUID& guid);

// Compile-time identifier from a literal; a malformed literal does not compile.
consteval GUID MakeGuid(const char (&text)[39]) {
  auto parsed = detail::ParseGuid(std::string_view(text, 38));
  if (!parsed) throw "malformed GUID literal";
  return *parsed;
}

using IID = GUID;
using CLSID = GUID;

}  // namespace orvex::com
