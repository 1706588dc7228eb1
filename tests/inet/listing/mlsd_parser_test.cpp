// MLSD lines, captured from the servers named in each row (listing one test
// folder) unless the row says otherwise.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/inet/listing/listing_parser.h"
#include "tests/inet/listing/listing_entry_printing.h"

namespace orvex::inet {
namespace {

using namespace std::string_view_literals;

constexpr CivilTime kModified{2026, 12, 9, 23, 28, 41};

struct Row {
  std::string_view source;
  std::string_view line;
  ListingEntry expected;
};

TEST(MlsdParser, ParsesRealServerLines) {
  const std::vector<Row> rows = {
      {"pure-ftpd", "type=file;size=0;modify=20261205100000;UNIX.mode=0644;UNIX.uid=0;UNIX.gid=0;unique=fe00ga72153; recent",
       Entry("recent", EntryType::File, 0, {2026, 12, 5, 10, 0, 0}, true)},
      {"pure-ftpd", "type=unknown;size=0;modify=20261209232841;UNIX.mode=0644;UNIX.uid=0;UNIX.gid=0;unique=fe00ga72151; pipe",
       Entry("pipe", EntryType::Other, 0, kModified, true)},
      {"pure-ftpd", "type=file;size=0;modify=20261209232841;UNIX.mode=0644;UNIX.uid=0;UNIX.gid=0;unique=fe00ga7214b;   two  spaces  ",
       Entry("  two  spaces  ", EntryType::File, 0, kModified, true)},
      {"pure-ftpd", "type=dir;sizd=4096;modify=20261209232841;UNIX.mode=0755;UNIX.uid=0;UNIX.gid=0;unique=fe00ga7214a; a folder",
       Entry("a folder", EntryType::Directory, 4096, kModified, true)},
      {"pure-ftpd", "type=OS.unix=slink:;size=9;modify=20261209232841;UNIX.mode=0777;UNIX.uid=0;UNIX.gid=0;unique=fe00ga7214f; link",
       Entry("link", EntryType::Link, 9, kModified, true)},
      {"pure-ftpd", "type=file;size=5368709120;modify=20261209232841;UNIX.mode=0644;UNIX.uid=0;UNIX.gid=0;unique=fe00ga72150; big.bin",
       Entry("big.bin", EntryType::File, 5368709120, kModified, true)},
      {"proftpd", "modify=20261209232841;perm=adfr;size=9;type=OS.unix=symlink;unique=FE00UA72149;UNIX.group=0;UNIX.groupname=1001;UNIX.mode=0777;UNIX.owner=0;UNIX.ownername=u; link",
       Entry("link", EntryType::Link, 9, kModified, true)},
      {"proftpd", "modify=20261209232841;perm=fle;type=dir;unique=FE00UA7214A;UNIX.group=0;UNIX.groupname=1001;UNIX.mode=0755;UNIX.owner=0;UNIX.ownername=u; a folder",
       Entry("a folder", EntryType::Directory, 0, kModified, true)},
      {"proftpd", "modify=20261209232841;perm=adfr;size=0;type=file;unique=FE00UA7214E;UNIX.group=0;UNIX.groupname=1001;UNIX.mode=0644;UNIX.owner=0;UNIX.ownername=u; has -> arrow",
       Entry("has -> arrow", EntryType::File, 0, kModified, true)},
      {"pyftpdlib", "modify=20261209232841;perm=radfwMT;size=0;type=file;unique=fe00ga7214c; -dash",
       Entry("-dash", EntryType::File, 0, kModified, true)},
      {"pyftpdlib", "modify=20261209232841;perm=eldfmMTcp;size=4096;type=dir;unique=fe00ga7214a; a folder",
       Entry("a folder", EntryType::Directory, 4096, kModified, true)},
      {"pyftpdlib", "modify=20200304050600;perm=radfwMT;size=0;type=file;unique=fe00ga72152; Gr\xC3\xBC\xC3\x9F" "e.txt",
       Entry("Gr\xC3\xBC\xC3\x9F" "e.txt", EntryType::File, 0, {2020, 3, 4, 5, 6, 0}, true)},
      // Fact names and type values in any case, fractional seconds, a link
      // target after "slink:", unknown and malformed facts ignored.
      {"mixed case", "Type=File;Size=12;Modify=20260101120000.123; Mixed",
       Entry("Mixed", EntryType::File, 12, {2026, 1, 1, 12, 0, 0}, true)},
      {"upper case", "TYPE=DIR;MODIFY=19991231235959;SIZD=512; UPPER",
       Entry("UPPER", EntryType::Directory, 512, {1999, 12, 31, 23, 59, 59}, true)},
      {"slink target", "type=OS.unix=slink:/srv/data;size=5;modify=20260101120000; data",
       Entry("data", EntryType::Link, 5, {2026, 1, 1, 12, 0, 0}, true, "/srv/data")},
      {"device", "type=OS.unix=chr-1/3;modify=20260101120000; null",
       Entry("null", EntryType::Other, 0, {2026, 1, 1, 12, 0, 0}, true)},
      {"unknown facts", "x.custom=a=b;;novalue;type=file;size=7;modify=20260101120000; f",
       Entry("f", EntryType::File, 7, {2026, 1, 1, 12, 0, 0}, true)},
      {"CR LF left on", "type=file;size=1;modify=20260101120000; crlf\r\n",
       Entry("crlf", EntryType::File, 1, {2026, 1, 1, 12, 0, 0}, true)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.source) + ": " + std::string(row.line));
    EXPECT_EQ(ParseMlsdLine(row.line), row.expected);
  }
}

// The listed folder and its parent are not entries of the listing; a plain
// "dir" named "." or ".." is passed on as the server sent it.
TEST(MlsdParser, DropsListedFolderAndParentOnly) {
  EXPECT_EQ(ParseMlsdLine("type=cdir;sizd=4096;modify=20261209232841;UNIX.mode=0755;unique=fe00ga72148; ."),
            std::nullopt);
  EXPECT_EQ(ParseMlsdLine("modify=20261209232841;perm=fle;type=pdir;unique=FE00UA72148; .."),
            std::nullopt);
  EXPECT_EQ(ParseMlsdLine("Type=CDir; ."), std::nullopt);
  EXPECT_EQ(ParseMlsdLine("type=PDIR; folder"), std::nullopt);
  const auto dot = ParseMlsdLine("type=dir;modify=20261209232841; ..");
  ASSERT_TRUE(dot);
  EXPECT_EQ(dot->name, "..");
}

// A broken fact costs only that fact, never the entry.
TEST(MlsdParser, BadFactValuesAreLeftOutOfTheEntry) {
  for (const std::string_view line : {
           "type=file;size=1;modify=20261301000000; month",
           "type=file;size=1;modify=20260230000000; day",
           "type=file;size=1;modify=20260101120060; second",
           "type=file;size=1;modify=20260101120000.; empty fraction",
           "type=file;size=1;modify=2026010112000; short",
           "type=file;size=1;modify=2026-1-01120000; sign",
       }) {
    SCOPED_TRACE(std::string(line));
    const auto entry = ParseMlsdLine(line);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->size, 1u);
    EXPECT_FALSE(entry->has_time);
  }
  const auto overflow =
      ParseMlsdLine("type=file;size=99999999999999999999;modify=20260101120000; huge");
  ASSERT_TRUE(overflow);
  EXPECT_EQ(overflow->size, 0u);
  EXPECT_TRUE(overflow->has_time);
}

TEST(MlsdParser, RejectsLinesWithoutASafeName) {
  const std::string_view lines[] = {
      "",
      "type=file;size=1;",
      "type=file;size=1; ",
      "type=file;size=1; sub/file",
      "type=file;size=1; ..\\up",
      "type=file;size=1; nul\0hidden"sv,
      "type=file;size=1; /home/u/absolute",
  };
  for (const std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    EXPECT_EQ(ParseMlsdLine(line), std::nullopt);
  }
}

}  // namespace
}  // namespace orvex::inet
