// DOS-style LIST lines in IIS's layout: two- or four-digit years, 12- or
// 24-hour times, "<DIR>" padded to the name column, right-aligned sizes.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/inet/listing/listing_parser.h"
#include "tests/inet/listing/listing_entry_printing.h"

namespace orvex::inet {
namespace {

constexpr CivilTime kNow{2026, 12, 9, 23, 29, 0};

struct Row {
  std::string_view line;
  ListingEntry expected;
};

TEST(WindowsListParser, ParsesIisLines) {
  const std::vector<Row> rows = {
      {"01-02-26  03:04PM       <DIR>          aspnet_client",
       Entry("aspnet_client", EntryType::Directory, 0, {2026, 1, 2, 15, 4, 0}, false)},
      {"10-23-19  11:22AM                 1234 web.config",
       Entry("web.config", EntryType::File, 1234, {2019, 10, 23, 11, 22, 0}, false)},
      // Midnight and noon in 12-hour form; 99 is 1999, 68 is 2068.
      {"12-31-99  12:00AM           5368709120 big.iso",
       Entry("big.iso", EntryType::File, 5368709120, {1999, 12, 31, 0, 0, 0}, false)},
      {"02-29-68  12:30PM                    0 noon.txt",
       Entry("noon.txt", EntryType::File, 0, {2068, 2, 29, 12, 30, 0}, false)},
      // Four-digit years with a 24-hour clock.
      {"01-02-2026  15:04       <DIR>          four digit years",
       Entry("four digit years", EntryType::Directory, 0, {2026, 1, 2, 15, 4, 0}, false)},
      {"01-02-2026  00:59                   12 a.txt",
       Entry("a.txt", EntryType::File, 12, {2026, 1, 2, 0, 59, 0}, false)},
      // Leading spaces beyond the column separator belong to the name.
      {"01-02-26  03:04PM                   12  leading space.txt",
       Entry(" leading space.txt", EntryType::File, 12, {2026, 1, 2, 15, 4, 0}, false)},
      {"01-02-26  03:04PM       <DIR>            two leading",
       Entry("  two leading", EntryType::Directory, 0, {2026, 1, 2, 15, 4, 0}, false)},
      {"04-27-00  09:09PM       <DIR>          Gr\xC3\xBC\xC3\x9F" "e -> x",
       Entry("Gr\xC3\xBC\xC3\x9F" "e -> x", EntryType::Directory, 0, {2000, 4, 27, 21, 9, 0}, false)},
      // Servers that pad less or group digits.
      {"01-02-26  03:04PM <DIR> tight",
       Entry("tight", EntryType::Directory, 0, {2026, 1, 2, 15, 4, 0}, false)},
      {"01/02/2026  03:04PM            1,234,567 grouped.bin",
       Entry("grouped.bin", EntryType::File, 1234567, {2026, 1, 2, 15, 4, 0}, false)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.line));
    EXPECT_EQ(ParseListLine(row.line, kNow), row.expected);
  }
}

TEST(WindowsListParser, RejectsMalformedOrUnsafeLines) {
  const std::string_view lines[] = {
      "13-01-26  03:04PM                   12 month.txt",
      "02-30-26  03:04PM                   12 day.txt",
      "01-02-26  13:04PM                   12 hour.txt",
      "01-02-26  00:04AM                   12 zero.txt",
      "01-02-26  03:04XM                   12 half.txt",
      "01-02-26  24:00                     12 hour.txt",
      "01-02-26  03:04PM                   12 sub\\file.txt",
      "01-02-26  03:04PM       <DIR>          a/b",
      "01-02-26  03:04PM       <DIR>",
      "01-02-26  03:04PM       <DIR>          ",
      "01-02-26  03:04PM                   12",
      "01-02-26  03:04PM                   12 ",
      "01-02-26  03:04PM                  1x2 size.txt",
      "01-02-26  03:04PM                  ,12 size.txt",
      "01-02-26  03:04PM  99999999999999999999 size.txt",
      "01-02-26",
      "2 Dirs 1,234 bytes free",
  };
  for (const std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    EXPECT_EQ(ParseListLine(line, kNow), std::nullopt);
  }
}

}  // namespace
}  // namespace orvex::inet
