#pragma once
// JSON text for machine-readable output.

#include <string>
#include <string_view>

namespace orvex::cli {

// `text` (UTF-8) as a JSON string literal with its quotes. Control
// characters, quotes and backslashes are escaped; bytes that are not valid
// UTF-8 become U+FFFD so the output always parses.
std::string JsonString(const std::string& text);
// The same, appended to `json`: for output written entry by entry.
void AppendJsonString(std::string& json, std::string_view text);

}  // namespace orvex::cli
