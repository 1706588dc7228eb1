#pragma once
// JSON text for machine-readable output.

#include <string>

namespace orvex::cli {

// `text` (UTF-8) as a JSON string literal with its quotes. Control
// characters, quotes and backslashes are escaped; bytes that are not valid
// UTF-8 become U+FFFD so the output always parses.
std::string JsonString(const std::string& text);

}  // namespace orvex::cli
