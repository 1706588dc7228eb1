// Text from outside (file names, server replies) made safe to show on a
// terminal or to write into a log that a person reads with `cat`.
#ifndef ORVEX_PLATFORM_TEXT_TERMINAL_TEXT_H_
#define ORVEX_PLATFORM_TEXT_TERMINAL_TEXT_H_

#include <string>
#include <string_view>

namespace orvex::text {

// `text` with everything a terminal could act on shown as a visible escape
// instead: C0 control characters and DEL ("\t", "\n", "\r", else "\x1b"),
// C1 control characters ("\u009b"), the Unicode marks that reorder or hide
// what follows them (bidirectional overrides and isolates, "\u202e"), and
// bytes that are not valid UTF-8 ("\xff"). Everything else, backslashes
// included, is kept as it is, so ordinary names look the same.
std::string TerminalSafe(std::string_view text);

// True when TerminalSafe would change nothing.
bool IsTerminalSafe(std::string_view text);

// The columns a terminal gives `text` (terminal-safe UTF-8): East Asian wide
// letters and most emoji take two, combining marks none, the rest one.
std::size_t DisplayWidth(std::string_view text);

// `text` cut to at most `columns` columns, ending in "..." when cut; never
// splits a UTF-8 sequence or a wide letter.
std::string FitToColumns(std::string_view text, std::size_t columns);

}  // namespace orvex::text

#endif  // ORVEX_PLATFORM_TEXT_TERMINAL_TEXT_H_
