#include <gtest/gtest.h>

#include <string>

#include "platform/text/code_page_1252.h"
#include "platform/text/utf16.h"

namespace orvex::text {
namespace {

TEST(Utf16Test, ConvertsWellFormedTextBothWays) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"A", u"A"},
      {"\xC3\xA9", u"\u00E9"},                          // é, two bytes
      {"\xE2\x82\xAC", u"\u20AC"},                      // €, three bytes
      {"\xEF\xBF\xBF", u"\uFFFF"},                      // last unit of the plane
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},            // 😀, surrogate pair
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},            // U+10FFFF
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
  }
}

TEST(Utf16Test, EachInvalidByteBecomesOneReplacementCharacter) {
  const struct {
    const char* name;
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"stray continuation", "\x80x", u"\uFFFDx"},
      {"truncated at the end", "a\xE2\x82", u"a\uFFFD\uFFFD"},
      {"truncated before ASCII", "\xE2\x82x", u"\uFFFD\uFFFDx"},
      {"truncated before a lead byte", "\xC3\xC3\xA9", u"\uFFFD\u00E9"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"never valid", "\xFF\xF5", u"\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.name;
}

TEST(Utf16Test, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::u16string units = {0xD83D, u'a', 0xDE00, 0xD83D};
  EXPECT_EQ(Utf16ToUtf8(units), "\xEF\xBF\xBD" "a" "\xEF\xBF\xBD" "\xEF\xBF\xBD");
}

TEST(Utf16Test, LittleEndianBytesPutTheLowByteFirst) {
  EXPECT_EQ(ToLittleEndianBytes(u"A\u20AC"), (std::vector<std::uint8_t>{0x41, 0x00, 0xAC, 0x20}));
  EXPECT_EQ(FromLittleEndianBytes({0x41, 0x00, 0xAC, 0x20}), u"A\u20AC");
  EXPECT_EQ(FromLittleEndianBytes({0x41, 0x00, 0x42}), u"A");  // the odd byte is no unit
}

TEST(CodePage1252Test, MapsCharactersToTheirBytes) {
  const struct {
    std::string utf8;
    char byte;
  } cases[] = {
      {"A", 'A'},
      {"\xE2\x82\xAC", '\x80'},  // €
      {"\xC3\xBC", '\xFC'},      // ü
      {"\xC5\xB8", '\x9F'},      // Ÿ
      {"\xE2\x80\x9C", '\x93'},  // “
      {"\xC2\xA0", '\xA0'},      // no-break space, same as Latin-1
      {"\xC2\x81", '\x81'},      // undefined bytes keep their C1 control
      {"\xC2\x9D", '\x9D'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(Utf8ToCodePage1252(c.utf8), std::string(1, c.byte));
    EXPECT_EQ(CodePage1252ToUtf8(std::string(1, c.byte)), c.utf8);
  }
}

TEST(CodePage1252Test, CharactersWithoutACodeBecomeOneQuestionMarkEach) {
  const struct {
    const char* name;
    std::string utf8;
    std::string bytes;
  } cases[] = {
      {"no best fit", "\xC4\x81", "?"},               // ā is not turned into a
      {"outside the page", "a\xE6\x97\xA5z", "a?z"},  // 日
      {"astral character", "\xF0\x9F\x98\x80", "?"},
      {"C1 control the page redefines", "\xC2\x80", "?"},
      {"invalid UTF-8", "\xFF\xE2\x82", "???"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCodePage1252(c.utf8), c.bytes) << c.name;
}

TEST(CodePage1252Test, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  EXPECT_EQ(Utf8ToCodePage1252(CodePage1252ToUtf8(all)), all);
}

}  // namespace
}  // namespace orvex::text
