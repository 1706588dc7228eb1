// Unix "ls -l" LIST lines, captured from the servers named in each row
// (listing one test folder at 2026-12-09 23:29 server time) unless the row
// says otherwise.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "platform/inet/listing/listing_parser.h"
#include "tests/inet/listing/listing_entry_printing.h"

namespace orvex::inet {
namespace {

using namespace std::string_view_literals;

constexpr CivilTime kCaptureTime{2026, 12, 9, 23, 29, 0};
constexpr CivilTime kToday{2026, 12, 9, 23, 28, 0};
constexpr CivilTime kOld{2020, 3, 4, 0, 0, 0};
constexpr EntryType kFile = EntryType::File;
constexpr EntryType kDirectory = EntryType::Directory;
constexpr EntryType kLink = EntryType::Link;
constexpr EntryType kOther = EntryType::Other;

struct Row {
  std::string_view source;
  std::string_view line;
  ListingEntry expected;
};

TEST(UnixListParser, ParsesRealServerLines) {
  const std::vector<Row> rows = {
      // vsftpd: numeric owner and group, zero-padded day.
      {"vsftpd", "-rw-r--r--    1 0        0               0 Dec 09 23:28   two  spaces  ",
       Entry("  two  spaces  ", kFile, 0, kToday, false)},
      {"vsftpd", "-rw-r--r--    1 0        0               0 Dec 09 23:28 -dash",
       Entry("-dash", kFile, 0, kToday, false)},
      {"vsftpd", "drwxr-xr-x    2 0        0            4096 Dec 09 23:28 a folder",
       Entry("a folder", kDirectory, 4096, kToday, false)},
      {"vsftpd", "-rw-r--r--    1 0        0        5368709120 Dec 09 23:28 big.bin",
       Entry("big.bin", kFile, 5368709120, kToday, false)},
      {"vsftpd", "-rw-r--r--    1 0        0               0 Dec 09 23:28 has -> arrow",
       Entry("has -> arrow", kFile, 0, kToday, false)},
      {"vsftpd", "lrwxrwxrwx    1 0        0               9 Dec 09 23:28 link -> plain.txt",
       Entry("link", kLink, 9, kToday, false, "plain.txt")},
      {"vsftpd", "crw-r--r--    1 0        0               0 Dec 09 23:28 null",
       Entry("null", kOther, 0, kToday, false)},
      {"vsftpd", "-rw-r--r--    1 0        0               0 Mar 04  2020 old.txt",
       Entry("old.txt", kFile, 0, kOld, false)},
      {"vsftpd", "prw-r--r--    1 0        0               0 Dec 09 23:28 pipe",
       Entry("pipe", kOther, 0, kToday, false)},
      // vsftpd, "LIST -a": the folder itself and its parent come as listed.
      {"vsftpd -a", "drwxr-xr-x    3 0        0            4096 Dec 09 23:28 .",
       Entry(".", kDirectory, 4096, kToday, false)},
      {"vsftpd -a", "drwxr-xr-x    3 0        0            4096 Dec 09 23:28 ..",
       Entry("..", kDirectory, 4096, kToday, false)},
      // pure-ftpd: wider columns, space-padded day.
      {"pure-ftpd", "-rw-r--r--    1 0          0                   0 Dec  9 23:28   two  spaces  ",
       Entry("  two  spaces  ", kFile, 0, kToday, false)},
      {"pure-ftpd", "-rw-r--r--    1 0          0          5368709120 Dec  9 23:28 big.bin",
       Entry("big.bin", kFile, 5368709120, kToday, false)},
      {"pure-ftpd", "-rw-r--r--    1 0          0                   0 Mar  4  2020 old.txt",
       Entry("old.txt", kFile, 0, kOld, false)},
      {"pure-ftpd", "-rw-r--r--    1 0          0                   0 Dec  5 10:00 recent",
       Entry("recent", kFile, 0, CivilTime{2026, 12, 5, 10, 0, 0}, false)},
      {"pure-ftpd -a", "drwxr-xr-x    3 0          0                4096 Dec  9 23:28 ..",
       Entry("..", kDirectory, 4096, kToday, false)},
      // proftpd.
      {"proftpd", "-rw-r--r--   1 0        0               0 Dec  9 23:28 Gr\xC3\xBC\xC3\x9F" "e.txt",
       Entry("Gr\xC3\xBC\xC3\x9F" "e.txt", kFile, 0, kToday, false)},
      {"proftpd", "lrwxrwxrwx   1 0        0               9 Dec  9 23:28 link -> plain.txt",
       Entry("link", kLink, 9, kToday, false, "plain.txt")},
      {"proftpd", "crw-r--r--   1 0        0               0 Dec  9 23:28 null",
       Entry("null", kOther, 0, kToday, false)},
      // pyftpdlib: owner and group names.
      {"pyftpdlib", "-rw-r--r--   1 root     root     5368709120 Dec 09 23:28 big.bin",
       Entry("big.bin", kFile, 5368709120, kToday, false)},
      {"pyftpdlib", "drwxr-xr-x   2 root     root         4096 Dec 09 23:28 a folder",
       Entry("a folder", kDirectory, 4096, kToday, false)},
      // GNU ls, as servers that run /bin/ls send it: devices show
      // "major, minor" instead of a size; marks after the mode for an ACL
      // ('+'), an SELinux context ('.') and macOS extended attributes ('@').
      {"GNU ls", "crw-r--r-- 1 root root 1, 3 Dec  9 23:28 null",
       Entry("null", kOther, 0, kToday, false)},
      {"GNU ls", "brw-rw---- 1 root disk 259,0 Dec  9 23:28 nvme0n1",
       Entry("nvme0n1", kOther, 0, kToday, false)},
      {"GNU ls", "-rw-rw-r--+ 1 root root 12 Mar  4  2020 acl.txt",
       Entry("acl.txt", kFile, 12, kOld, false)},
      {"GNU ls", "-rw-r--r--. 1 root root 12 Mar  4  2020 selinux.txt",
       Entry("selinux.txt", kFile, 12, kOld, false)},
      {"macOS ls", "drwxr-xr-x@ 3 staff staff 96 Mar  4  2020 Photos",
       Entry("Photos", kDirectory, 96, kOld, false)},
      {"ls -o", "-rw-r--r-- 1 ftp 1234 Dec  9 23:28 no group.txt",
       Entry("no group.txt", kFile, 1234, kToday, false)},
      {"ls -g -n", "-rw-r--r-- 1 1000 1234 Dec  9 23:28 numeric group",
       Entry("numeric group", kFile, 1234, kToday, false)},
      {"ls --time-style=long-iso", "-rw-r--r-- 1 root root 3 2026-12-09 23:28 plain.txt",
       Entry("plain.txt", kFile, 3, kToday, false)},
      {"sticky bit", "drwxrwxrwt 9 root root 4096 Dec  9 23:28 tmp",
       Entry("tmp", kDirectory, 4096, kToday, false)},
      // A link whose own name is fine while its target leaves the folder:
      // only the name matters.
      {"symlink out", "lrwxrwxrwx 1 0 0 12 Dec  9 23:28 etc -> ../../etc",
       Entry("etc", kLink, 12, kToday, false, "../../etc")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.source) + ": " + std::string(row.line));
    EXPECT_EQ(ParseListLine(row.line, kCaptureTime), row.expected);
  }
}

TEST(UnixListParser, ServerLineEndingsAreNotPartOfTheName) {
  const auto entry = ParseListLine(
      "-rw-r--r--    1 0        0               3 Dec 09 23:28 plain.txt\r\n",
      kCaptureTime);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "plain.txt");
}

// A year-less date is the latest one no more than a day after the server's
// today; 29 February falls back to the last leap year.
TEST(UnixListParser, YearlessDatesTakeTheMostRecentPlausibleYear) {
  struct YearCase {
    CivilTime now;
    std::string_view date;
    int expected_year;
  };
  const YearCase cases[] = {
      {{2026, 12, 9, 23, 29, 0}, "Dec  9 23:28", 2026},
      {{2026, 12, 9, 23, 29, 0}, "Dec 10 01:00", 2026},  // tomorrow: clock skew
      {{2026, 12, 9, 23, 29, 0}, "Dec 11 01:00", 2025},
      {{2026, 12, 9, 23, 29, 0}, "Jan  1 00:00", 2026},
      {{2027, 1, 1, 0, 5, 0}, "Dec 31 23:59", 2026},
      {{2027, 1, 1, 0, 5, 0}, "Jan  2 08:00", 2027},
      {{2027, 1, 1, 0, 5, 0}, "Jan  3 08:00", 2026},
      {{2026, 12, 31, 23, 0, 0}, "Jan  1 00:10", 2027},  // server already in 2027
      {{2025, 3, 1, 12, 0, 0}, "Feb 29 12:00", 2024},
      {{2028, 2, 28, 12, 0, 0}, "Feb 29 12:00", 2028},
  };
  for (const YearCase& test : cases) {
    const std::string line =
        "-rw-r--r-- 1 0 0 1 " + std::string(test.date) + " file";
    SCOPED_TRACE(line);
    const auto entry = ParseListLine(line, test.now);
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->has_time);
    EXPECT_EQ(entry->time.year, test.expected_year);
  }
}

TEST(UnixListParser, WithoutAKnownTodayAYearlessDateIsLeftOut) {
  const auto entry =
      ParseListLine("-rw-r--r-- 1 0 0 1 Dec  9 23:28 file", CivilTime{});
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "file");
  EXPECT_FALSE(entry->has_time);
}

TEST(UnixListParser, RejectsLinesThatAreNotSafeEntries) {
  const std::string_view lines[] = {
      "total 12",
      "",
      "   ",
      "drwxr-xr-x    3 0        0            4096 Dec 09 23:28",
      "drwxr-xr-x    3 0        0            4096 Dec 09 23:28 ",
      "-rw-r--r-- 1 0 0 1 Dec  9 23:28 sub/file",
      "-rw-r--r-- 1 0 0 1 Dec  9 23:28 ..\\..\\boot.ini",
      "-rw-r--r-- 1 0 0 1 Dec  9 23:28 nul\0hidden"sv,
      "lrwxrwxrwx 1 0 0 1 Dec  9 23:28 ../escape -> target",
      "-rw-r--r-- 1 0 0 99999999999999999999 Dec  9 23:28 huge",
      "-rw-r--r-- 1 0 0 1 Foo  9 23:28 month",
      "-rw-r--r-- 1 0 0 1 Feb 30  2020 day",
      "-rw-r--r-- 1 0 0 1 Dec  9 24:00 hour",
      "-rw-r--r-- 1 0 0 1 2026-13-01 10:00 iso month",
      "?rw-r--r-- 1 0 0 1 Dec  9 23:28 unknown type",
      "-rw-r--r-x-- 1 0 0 1 Dec  9 23:28 long mode",
  };
  for (const std::string_view line : lines) {
    SCOPED_TRACE(std::string(line));
    EXPECT_EQ(ParseListLine(line, kCaptureTime), std::nullopt);
  }
}

}  // namespace
}  // namespace orvex::inet
