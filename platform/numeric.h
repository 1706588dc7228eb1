#pragma once
// The platform's numeric test: does a text read as a number?
//
// Accepted: surrounding blanks (spaces and tabs), one leading sign, digits
// with at most one decimal point (".5" and "5." count), and an exponent
// ("e" or "E", optional sign, at least one digit) after at least one digit.
// Not accepted: the empty text, blanks only, letters, a lone sign or point,
// thousands separators, hexadecimal forms.

#include <optional>
#include <string_view>

namespace orvex {

bool IsNumeric(std::string_view text);

// The number a text reads as, under the rules above; nullopt otherwise
// (including values beyond the range of a double).
std::optional<double> ParseNumber(std::string_view text);

}  // namespace orvex
