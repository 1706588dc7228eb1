#include "platform/numeric.h"

#include <charconv>
#include <system_error>

namespace orvex {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The trimmed text when it has the shape of a number, else nullopt.
std::optional<std::string_view> NumberShape(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissa_digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++mantissa_digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return text;
}

}  // namespace

bool IsNumeric(std::string_view text) { return ParseNumber(text).has_value(); }

std::optional<double> ParseNumber(std::string_view text) {
  auto shape = NumberShape(text);
  if (!shape) return std::nullopt;
  // from_chars ignores the process locale (a host may have switched the
  // decimal separator) and takes no leading "+".
  std::string_view digits = *shape;
  if (digits.front() == '+') digits.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace orvex
