// Outside text shown on a terminal: nothing a terminal acts on gets through,
// ordinary text is left alone.

#include <gtest/gtest.h>

#include "platform/text/terminal_text.h"

namespace orvex::text {
namespace {

TEST(TerminalText, EscapesWhatATerminalWouldActOn) {
  struct Case {
    std::string text, shown;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"Grüße ñ 日本 😀", "Grüße ñ 日本 😀"},
      {"back\\slash", "back\\slash"},
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},       // retitles the window
      {"\x1b[2Jclear", "\\x1b[2Jclear"},                // clears the screen
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"del\x7f", "del\\x7f"},
      {"c1 \xc2\x9b" "31m", "c1 \\u009b31m"},            // CSI as a C1 character
      {"bidi \xe2\x80\xae" "txt.exe", "bidi \\u202etxt.exe"},  // right-to-left override
      {"raw \x9b" "2J", "raw \\x9b2J"},                 // CSI as a lone byte
      {"cut \xc3", "cut \\xc3"},                        // a sequence cut short
      {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
      {"surrogate \xed\xa0\x80", "surrogate \\xed\\xa0\\x80"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(TerminalSafe(test.text), test.shown) << test.shown;
    EXPECT_EQ(IsTerminalSafe(test.text), test.text == test.shown) << test.shown;
    EXPECT_TRUE(IsTerminalSafe(TerminalSafe(test.text))) << test.shown;
  }
}

// A status line fitted to a narrow terminal must neither wrap (a wrapped
// line leaves its first part behind at every redraw) nor split a letter.
TEST(TerminalText, FitsALineToTheColumnsOfATerminal) {
  struct Case {
    std::string text;
    std::size_t columns;
    std::string fitted;
    std::size_t width;  // of `text`
  } cases[] = {
      {"short", 10, "short", 5},
      {"exactly ten", 11, "exactly ten", 11},
      {"a little too long", 10, "a littl...", 17},
      {"Grüße aus Köln", 8, "Grüße...", 14},      // two-byte letters are one column
      {"日本語のファイル", 7, "日本...", 16},       // wide letters are two columns
      {"日本語のファイル", 8, "日本...", 16},       // and never split
      {"e\xcc\x81t\xc3\xa9", 5, "e\xcc\x81t\xc3\xa9", 3},  // a combining accent takes none
      {"abc", 2, "ab", 3},                          // no room for "..."
  };
  for (const auto& test : cases) {
    EXPECT_EQ(DisplayWidth(test.text), test.width) << test.text;
    const std::string fitted = FitToColumns(test.text, test.columns);
    EXPECT_EQ(fitted, test.fitted) << test.text;
    EXPECT_LE(DisplayWidth(fitted), test.columns) << test.text;
    EXPECT_TRUE(IsTerminalSafe(fitted)) << test.text;
  }
}

}  // namespace
}  // namespace orvex::text
