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

}  // namespace
}  // namespace orvex::text
