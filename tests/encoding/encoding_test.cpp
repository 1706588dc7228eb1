#include "encoding/encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/text/utf16.h"
#include "resources/version_info.h"

namespace orvex::encoding {
namespace {

using Bytes = cEncoding::Bytes;

constexpr const char* kKey = version::kApplicationTitle;

// "Pässwort 😀" stored under "OrvexFTP", built by hand from the layout with the
// random bytes (37·i + 11) mod 255: a value any earlier writer of this format
// could have stored. It must keep decoding to the same text.
constexpr const char* kStoredValue =
    "D0<6<M9C4NOO@M4;GJ8MNFO6HA<48DC27<BOEON9CKFF2K0C;0<:5MMC4>JO0J4;NK8ALF?2H9G4HC"
    "BIAO5HC@I@;5D;O=085C2A6>7M@J0@:7J4!";
constexpr const char* kStoredText = "P\xC3\xA4sswort \xF0\x9F\x98\x80";

class EncodingTest : public ::testing::Test {
 protected:
  cEncoding encoding_;
};

TEST_F(EncodingTest, DefaultsAreTheStoredForm) {
  EXPECT_EQ(encoding_.LowLimit(), 48);
  EXPECT_EQ(encoding_.Disposition(), 5);
  EXPECT_FALSE(encoding_.Binary());
  EXPECT_FALSE(encoding_.SkipFileCRC());
  EXPECT_FALSE(encoding_.SkipDataCRC());
}

TEST_F(EncodingTest, TextFormHasOneCharacterPerFiveBitsAndAPaddingCharacter) {
  struct Case {
    std::string text;
    std::size_t length;
    char last;
  };
  // Blocks of 48, 64 and 50 bytes: 1, 3 and 0 padding bits.
  const Case cases[] = {{"", 78, '"'}, {"Orvex123", 104, '$'}, {"x", 81, '!'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string stored = encoding_.Encode(c.text, kKey);
    ASSERT_EQ(stored.size(), c.length);
    EXPECT_EQ(stored.back(), c.last);
    for (std::size_t i = 0; i + 1 < stored.size(); ++i) {
      EXPECT_TRUE(stored[i] >= '0' && stored[i] <= 'O') << "character " << i << " is " << stored[i];
    }
    EXPECT_EQ(encoding_.Decode(stored, kKey), c.text);
  }
}

TEST_F(EncodingTest, ValueStoredByEarlierWritersDecodes) {
  EXPECT_EQ(encoding_.Decode(kStoredValue, kKey), kStoredText);
  EXPECT_EQ(encoding_.Decode(kStoredValue, "OrvexFTQ"), "");
}

TEST_F(EncodingTest, EncodingTwiceDiffersAndBothDecode) {
  const std::string first = encoding_.Encode("secret", kKey);
  const std::string second = encoding_.Encode("secret", kKey);
  EXPECT_NE(first, second);
  EXPECT_EQ(encoding_.Decode(first, kKey), "secret");
  EXPECT_EQ(encoding_.Decode(second, kKey), "secret");
  // Each object draws its own random bytes.
  EXPECT_NE(cEncoding().Encode("secret", kKey), cEncoding().Encode("secret", kKey));
}

TEST_F(EncodingTest, RoundTripsTextsOfEveryKind) {
  const std::string cases[] = {
      "",
      "a",
      "pass word with spaces",
      "p\xC3\xA4ss\xE2\x82\xAC",                   // päss€
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",      // 日本語, outside code page 1252
      "\xF0\x9F\x98\x80\xF0\x9D\x84\x9E",          // two astral characters
      std::string("nul\0inside", 10),
      std::string(1000, 'z'),
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(encoding_.Decode(encoding_.Encode(text, kKey), kKey), text);
  }
}

TEST_F(EncodingTest, RoundTripsRandomTexts) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<std::uint32_t> plane(0, 3);
  std::uniform_int_distribution<std::uint32_t> low(1, 0xFFFF);
  std::uniform_int_distribution<std::uint32_t> astral(0x10000, 0x10FFFF);
  for (int round = 0; round < 300; ++round) {
    std::u16string units;
    for (int i = length(random); i > 0; --i) {
      std::uint32_t value = plane(random) == 0 ? astral(random) : low(random);
      if (value >= 0xD800 && value <= 0xDFFF) value = 0xFFFD;
      if (value < 0x10000) {
        units.push_back(static_cast<char16_t>(value));
      } else {
        value -= 0x10000;
        units.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
      }
    }
    const std::string text = text::Utf16ToUtf8(units);
    const std::string key = round % 2 == 0 ? std::string(kKey) : text::Utf16ToUtf8(units.substr(0, 3)) + "k";
    ASSERT_EQ(encoding_.Decode(encoding_.Encode(text, key), key), text) << "round " << round;
  }
}

TEST_F(EncodingTest, DamagedOrForeignValuesDecodeToEmpty) {
  const std::string good = encoding_.Encode("secret", kKey);
  std::string first_replaced = good;
  first_replaced[0] = first_replaced[0] == '5' ? '6' : '5';
  std::string middle_replaced = good;
  middle_replaced[40] = middle_replaced[40] == 'A' ? 'B' : 'A';
  std::string below_low_limit = good;
  below_low_limit[10] = '/';
  std::string huge_padding = good;
  huge_padding.back() = 'O';  // asks for more dropped bytes than the block holds

  const struct {
    const char* name;
    std::string stored;
    std::string key;
  } cases[] = {
      {"empty", "", kKey},
      {"padding character removed", good.substr(0, good.size() - 1), kKey},
      {"first character replaced", first_replaced, kKey},
      {"middle character replaced", middle_replaced, kKey},
      {"character below 0", below_low_limit, kKey},
      {"truncated to half", good.substr(0, good.size() / 2) + good.back(), kKey},
      {"padding only", "!", kKey},
      {"padding beyond the block", huge_padding, kKey},
      {"foreign key", good, "OrvexFTQ"},
      {"empty key", good, ""},
      {"not a stored value", "hello, world", kKey},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encoding_.Decode(c.stored, c.key), "") << c.name;
  }
}

TEST_F(EncodingTest, OnlyTheLowFiveBitsOfACharacterAreRead) {
  std::string stored = kStoredValue;
  const std::size_t zero = stored.find('0');
  ASSERT_NE(zero, std::string::npos);
  stored[zero] = 'P';  // 80 - 48 = 32, whose low five bits are those of "0"
  EXPECT_EQ(encoding_.Decode(stored, kKey), kStoredText);
}

TEST_F(EncodingTest, EmptyKeyFailsToEncode) { EXPECT_EQ(encoding_.Encode("secret", ""), ""); }

TEST_F(EncodingTest, BlockOfOddLengthIsNotText) {
  // Both check sums hold, but three bytes are not whole UTF-16 units.
  Bytes encoded;
  ASSERT_TRUE(encoding_.BEncode({0x61, 0x00, 0x62}, text::ToLittleEndianBytes(u"OrvexFTP"), encoded));
  Bytes data;
  ASSERT_TRUE(encoding_.BDecode(encoded, text::ToLittleEndianBytes(u"OrvexFTP"), data));
  EXPECT_EQ(data, (Bytes{0x61, 0x00, 0x62}));
  EXPECT_EQ(encoding_.Decode(std::string(encoded.begin(), encoded.end()), kKey), "");
}

TEST_F(EncodingTest, OtherSettingsRoundTripWithTheirBlockSizes) {
  const std::string text = "p\xC3\xA4ss \xF0\x9F\x98\x80";  // 7 units, 14 bytes
  const struct {
    const char* name;
    std::int32_t disposition;
    std::uint8_t low_limit;
    bool binary;
    bool skip_file;
    bool skip_data;
    std::size_t block_bytes;
  } cases[] = {
      {"plain bytes", 8, 48, false, false, false, 62},
      {"plain bytes, binary", 8, 48, true, false, false, 62},
      {"wide plain bytes", 12, 48, true, false, false, 62},
      {"binary text form", 5, 48, true, false, false, 62},
      {"six bits", 6, 48, false, false, false, 62},
      {"seven bits, above ASCII", 7, 100, false, false, false, 62},
      {"one bit", 1, 48, false, false, false, 62},
      {"low limit 0", 5, 0, false, false, false, 62},
      {"no outer check sum", 5, 48, false, true, false, 54},
      {"no inner check sum", 5, 48, false, false, true, 54},
      {"no check sums", 8, 48, true, true, true, 46},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cEncoding encoding;
    encoding.Disposition(c.disposition);
    encoding.LowLimit(c.low_limit);
    encoding.Binary(c.binary);
    encoding.SkipFileCRC(c.skip_file);
    encoding.SkipDataCRC(c.skip_data);
    const std::string stored = encoding.Encode(text, kKey);
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(encoding.Decode(stored, kKey), text);

    Bytes encoded;
    ASSERT_TRUE(encoding.BEncode(text::ToLittleEndianBytes(text::Utf8ToUtf16(text)),
                                 text::ToLittleEndianBytes(u"OrvexFTP"), encoded));
    if (c.disposition >= 8) {
      EXPECT_EQ(encoded.size(), c.block_bytes);
    } else {
      const std::size_t bits = c.block_bytes * 8;
      const auto group_bits = static_cast<std::size_t>(c.disposition);
      const std::size_t groups = (bits + group_bits - 1) / group_bits;
      EXPECT_EQ(encoded.size(), groups + 1);
      EXPECT_EQ(static_cast<std::size_t>(encoded.back()), 33 + groups * group_bits - bits);
    }
  }
}

TEST_F(EncodingTest, UnusableSettingsFailBothWays) {
  const struct {
    const char* name;
    std::int32_t disposition;
    std::uint8_t low_limit;
  } cases[] = {{"no bits", 0, 48}, {"negative bits", -3, 48}, {"group values above 255", 5, 250}};
  const std::string stored = cEncoding().Encode("secret", kKey);
  for (const auto& c : cases) {
    cEncoding encoding;
    encoding.Disposition(c.disposition);
    encoding.LowLimit(c.low_limit);
    EXPECT_EQ(encoding.Encode("secret", kKey), "") << c.name;
    EXPECT_EQ(encoding.Decode(stored, kKey), "") << c.name;
  }
}

TEST(CheckSumTest, XorAndSumModulo255OfEveryFourthByte) {
  const struct {
    Bytes input;
    Bytes sum;
  } cases[] = {
      {{}, {0, 0, 0, 0, 0, 0, 0, 0}},
      {{0x61, 0x00, 0x62, 0x00, 0x63, 0x00}, {0x02, 0x00, 0x62, 0x00, 0xC4, 0x00, 0x62, 0x00}},
      // The sums wrap at 255, not 256: 0xFF alone and 0x80 + 0x7F give 0.
      {{0xFF}, {0xFF, 0, 0, 0, 0x00, 0, 0, 0}},
      {{0x80, 1, 2, 3, 0x7F, 4}, {0xFF, 5, 2, 3, 0x00, 5, 2, 3}},
      {{0xF0, 0, 0, 0, 0x20}, {0xD0, 0, 0, 0, 0x11, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    Bytes sum;
    cEncoding::GetCRC64(c.input, sum);
    EXPECT_EQ(sum, c.sum);
  }
}

TEST(ByteDisposeTest, ThreeBytesAsFiveBitGroupsAndBack) {
  Bytes text_form;
  std::int32_t trail = 0;
  cEncoding::ByteDispose({0x61, 0x62, 0x63}, text_form, 8, 5, 0, 48, trail);
  EXPECT_EQ(std::string(text_form.begin(), text_form.end()), "1CH66");
  EXPECT_EQ(trail, 1);

  Bytes bytes;
  cEncoding::ByteDispose(text_form, bytes, 5, 8, 48, 0, trail);
  EXPECT_EQ(bytes, (Bytes{0x61, 0x62, 0x63}));
  EXPECT_EQ(trail, 0);
}

TEST(ByteDisposeTest, FailuresRaiseAndLeaveTheOutput) {
  Bytes output{7};
  std::int32_t trail = 0;
  EXPECT_THROW(cEncoding::ByteDispose({0x2F}, output, 5, 8, 48, 0, trail), Error);  // below offset
  EXPECT_THROW(cEncoding::ByteDispose({0xFF}, output, 8, 5, 0, 240, trail), Error);  // sum above 255
  EXPECT_THROW(cEncoding::ByteDispose({1}, output, 8, 0, 0, 0, trail), Error);
  EXPECT_THROW(cEncoding::ByteDispose({1}, output, 9, 8, 0, 0, trail), Error);
  trail = 17;  // more whole units of padding than the single output unit
  EXPECT_THROW(cEncoding::ByteDispose({1}, output, 8, 8, 0, 0, trail), Error);
  EXPECT_EQ(output, Bytes{7});
  EXPECT_EQ(trail, 17);
}

TEST(ByteHelpersTest, SplitJoinAndXor) {
  Bytes bytes{1, 2, 3, 4};
  Bytes tail;
  cEncoding::SplitByte(bytes, tail, 1, false);
  EXPECT_EQ(tail, (Bytes{2, 3, 4}));
  EXPECT_EQ(bytes, (Bytes{1, 2, 3, 4}));
  cEncoding::SplitByte(bytes, tail, 0, true);
  EXPECT_EQ(tail, (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(bytes.empty());

  bytes = {1, 2, 3};
  EXPECT_THROW(cEncoding::SplitByte(bytes, tail, 3, true), Error);
  EXPECT_THROW(cEncoding::SplitByte(bytes, tail, -1, true), Error);
  EXPECT_EQ(bytes, (Bytes{1, 2, 3}));

  cEncoding::JoinByte(bytes, {9});
  EXPECT_EQ(bytes, (Bytes{1, 2, 3, 9}));

  cEncoding::BXor(bytes, {0xF0, 0x0F, 0xFF});
  EXPECT_EQ(bytes, (Bytes{0xF1, 0x0D, 0xFC, 0xF9}));
  EXPECT_THROW(cEncoding::BXor(bytes, {}), Error);
}

TEST(GenerateKeyTest, BytesStayBelow255AndCoverTheRange) {
  cEncoding encoding;
  Bytes key;
  encoding.GenerateKey(key, 20000);
  ASSERT_EQ(key.size(), 20000U);
  std::vector<bool> seen(256, false);
  for (const std::uint8_t byte : key) seen[byte] = true;
  EXPECT_FALSE(seen[255]);
  for (std::size_t value = 0; value < 255; ++value) EXPECT_TRUE(seen[value]) << value;
  EXPECT_THROW(encoding.GenerateKey(key, -1), Error);
}

}  // namespace
}  // namespace orvex::encoding
