// EPLF lines, the two examples its author publishes plus edge cases.
#include <gtest/gtest.h>

#include <string_view>

#include "platform/inet/listing/listing_parser.h"
#include "tests/inet/listing/listing_entry_printing.h"

namespace orvex::inet {
namespace {

constexpr CivilTime kNow{2026, 12, 9, 23, 29, 0};

TEST(EplfParser, ParsesFactsAndKeepsTheNameVerbatim) {
  struct Row {
    std::string_view line;
    ListingEntry expected;
  };
  const Row rows[] = {
      {"+i8388621.29609,m824255902,/,\tdev",
       Entry("dev", EntryType::Directory, 0, {1996, 2, 13, 23, 58, 22}, true)},
      {"+i8388621.44468,m839956783,r,s10376,\tRFCEPLF",
       Entry("RFCEPLF", EntryType::File, 10376, {1996, 8, 13, 17, 19, 43}, true)},
      {"+m253402300799,r,s5368709120,up644,\t two  spaces ",
       Entry(" two  spaces ", EntryType::File, 5368709120, {9999, 12, 31, 23, 59, 59}, true)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.line));
    EXPECT_EQ(ParseListLine(row.line, kNow), row.expected);
  }
}

TEST(EplfParser, OutOfRangeTimeIsDroppedNotWrapped) {
  const auto entry = ParseListLine("+m253402300800,r,\tfar", kNow);
  ASSERT_TRUE(entry);
  EXPECT_FALSE(entry->has_time);
  EXPECT_EQ(entry->type, EntryType::File);
}

TEST(EplfParser, RejectsLinesWithoutAUsableName) {
  for (const std::string_view line :
       {"+i1,r,s1,", "+r,\t", "+r,\ta/b", "+/,\t..\\up"}) {
    SCOPED_TRACE(std::string(line));
    EXPECT_EQ(ParseListLine(line, kNow), std::nullopt);
  }
}

}  // namespace
}  // namespace orvex::inet
