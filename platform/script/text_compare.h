#pragma once
// Text comparison without regard to letter case, as the scripting runtime's
// "text compare" mode does. Texts are UTF-8; letters of the Latin, Greek and
// Cyrillic alphabets fold to one case, every other character compares as is.

#include <string>
#include <string_view>

namespace orvex::script {

// The case-folded form of a text: equal folds mean equal under text compare.
std::string FoldCase(std::string_view text);

bool TextEquals(std::string_view a, std::string_view b);

// A hash of FoldCase(text) and the equality of two folds, computed without
// building either fold: for keyed lookups on every entry of a listing.
std::size_t FoldedHash(std::string_view text);
bool FoldedEquals(std::string_view a, std::string_view b);

}  // namespace orvex::script
