// Whatever a server sends, the parsers stay inside the line and never hand
// on an unsafe name. Cut and damaged versions of real lines of every format
// exercise the bounds checks (run this under the sanitizer build to catch an
// out-of-bounds read).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/listing/listing_parser.h"
#include "tests/inet/listing/listing_entry_printing.h"

namespace orvex::inet {
namespace {

constexpr CivilTime kNow{2026, 12, 9, 23, 29, 0};

constexpr std::string_view kLines[] = {
    "lrwxrwxrwx    1 0        0               9 Dec 09 23:28 link -> plain.txt",
    "crw-r--r-- 1 root root 1, 3 Dec  9 23:28 null",
    "-rw-r--r-- 1 root root 3 2026-12-09 23:28 plain.txt",
    "-rw-r--r--    1 0        0               0 Mar 04  2020 old.txt",
    "01-02-26  03:04PM       <DIR>          aspnet_client",
    "01-02-2026  15:04                   12 a.txt",
    "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF",
    "type=OS.unix=slink:/srv;size=9;modify=20261209232841.5;UNIX.mode=0777; link",
};

bool IsSafe(const std::optional<ListingEntry>& entry) {
  if (!entry) return true;
  return !entry->name.empty() &&
         entry->name.find_first_of(std::string_view("/\\\0", 3)) ==
             std::string::npos;
}

void ExpectSafeEverywhere(std::string_view text) {
  // A copy of exactly the bytes in view, so a read past the end is caught
  // by the address sanitizer instead of landing in the next literal.
  const std::string copy(text);
  const std::string_view exact(copy.data(), copy.size());
  EXPECT_TRUE(IsSafe(ParseListLine(exact, kNow))) << copy;
  EXPECT_TRUE(IsSafe(ParseMlsdLine(exact))) << copy;
  // The "as listed" parsers read past an unsafe name, never past the line.
  ParseListLineAsListed(exact, kNow);
  ParseMlsdLineAsListed(exact);
}

TEST(ListingRobustness, CutAndDamagedLinesNeverYieldUnsafeEntries) {
  constexpr std::string_view kReplacements("\0 \t;,/\\:-9", 10);
  for (const std::string_view line : kLines) {
    for (std::size_t length = 0; length <= line.size(); ++length) {
      ExpectSafeEverywhere(line.substr(0, length));
      ExpectSafeEverywhere(line.substr(length));
    }
    for (std::size_t position = 0; position < line.size(); ++position) {
      for (const char replacement : kReplacements) {
        std::string damaged(line);
        damaged[position] = replacement;
        ExpectSafeEverywhere(damaged);
      }
    }
  }
}

// Odd values for the server's "today" must not lead anywhere undefined.
TEST(ListingRobustness, ImplausibleTodayLeavesYearlessDatesOut) {
  const CivilTime todays[] = {{0, 0, 0, 0, 0, 0},
                              {-2147483647 - 1, 1, 1, 0, 0, 0},
                              {2147483647, 12, 31, 0, 0, 0},
                              {2026, 2, 31, 0, 0, 0},
                              {1, 1, 1, 0, 0, 0}};
  for (const CivilTime& today : todays) {
    const auto entry =
        ParseListLine("-rw-r--r-- 1 0 0 1 Feb 29 10:00 file", today);
    ASSERT_TRUE(entry);
    EXPECT_FALSE(entry->has_time);
  }
}

// An entry with an unsafe name is left out by the plain parsers and comes
// back exactly as listed from the "as listed" ones, in every format.
TEST(ListingRobustness, UnsafeNamesAreLeftOutOrReturnedExactlyAsListed) {
  using namespace std::string_view_literals;
  struct Case {
    std::string_view line;
    bool machine;
    std::string_view name;
    EntryType type;
  };
  const Case cases[] = {
      {"-rw-r--r-- 1 0 0 1 Dec  9 23:28 ..\\..\\boot.ini", false, "..\\..\\boot.ini", EntryType::File},
      {"drwxr-xr-x 2 0 0 0 Dec  9 23:28 a/b", false, "a/b", EntryType::Directory},
      {"prw-r--r-- 1 0 0 0 Dec  9 23:28 pipe\\x", false, "pipe\\x", EntryType::Other},
      {"01-02-26  03:04PM                   12 sub\\file.txt", false, "sub\\file.txt", EntryType::File},
      {"+r,s3,\ta/b", false, "a/b", EntryType::File},
      {"type=file;size=1; ..\\up", true, "..\\up", EntryType::File},
      {"type=dir; x/y", true, "x/y", EntryType::Directory},
      {"type=file;size=1; nul\0hidden"sv, true, "nul\0hidden"sv, EntryType::File},
  };
  for (const Case& test : cases) {
    const std::string line(test.line);
    SCOPED_TRACE(line);
    EXPECT_EQ(test.machine ? ParseMlsdLine(line) : ParseListLine(line, kNow), std::nullopt);
    const auto listed = test.machine ? ParseMlsdLineAsListed(line) : ParseListLineAsListed(line, kNow);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->name, test.name);
    EXPECT_EQ(listed->type, test.type);
  }
  // Still nothing for lines that are no entries, or name nothing.
  for (const std::string_view line : {"total 12"sv, ""sv, "-rw-r--r-- 1 0 0 1 Dec  9 23:28 "sv}) {
    EXPECT_EQ(ParseListLineAsListed(line, kNow), std::nullopt) << line;
  }
  for (const std::string_view line : {""sv, "type=file;size=1; "sv, "Type=CDir; ."sv}) {
    EXPECT_EQ(ParseMlsdLineAsListed(line), std::nullopt) << line;
  }
}

}  // namespace
}  // namespace orvex::inet
