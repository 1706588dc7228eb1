// The time zone of LIST dates: the offset learnt from one file's listed and
// MDTM times, offsets as people write them, and a session that learns the
// zone from a server which refuses MDTM for some files.

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "ftp/listing_time_zone.h"
#include "tests/ftp/session_fixture.h"
#include "tests/support/scripted_server.h"

namespace orvex::ftp_testing {
namespace {

using orvex::testing::ScriptedServer;

CalendarTime At(int year, int month, int day, int hour, int minute, int second = 0) {
  CalendarTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return time;
}

TEST(ListingOffset, IsTheListedClockMinusUtcToTheQuarterHour) {
  struct Case {
    const char* what;
    CalendarTime listed, utc;
    std::optional<int> minutes;
  } cases[] = {
      {"UTC listing", At(2026, 6, 1, 10, 0), At(2026, 6, 1, 10, 0, 41), 0},
      {"whole hours east", At(2026, 6, 1, 12, 0), At(2026, 6, 1, 10, 0, 5), 120},
      {"whole hours west", At(2026, 6, 1, 5, 7), At(2026, 6, 1, 10, 7, 59), -300},
      {"half hours", At(2026, 6, 1, 15, 30), At(2026, 6, 1, 10, 0, 30), 330},
      {"quarter hours", At(2026, 6, 1, 15, 45), At(2026, 6, 1, 10, 0), 345},
      {"Chatham, +12:45, across midnight", At(2026, 6, 2, 8, 45), At(2026, 6, 1, 20, 0), 765},
      {"a day back across the month", At(2026, 2, 28, 23, 0), At(2026, 3, 1, 9, 0), -600},
      // The server is already in the new year while the client still guesses
      // the old one for a date without a year.
      {"server in the future", At(2025, 1, 1, 9, 0), At(2025, 12, 31, 19, 0, 12), 840},
      {"client in the future", At(2026, 12, 31, 14, 0), At(2026, 1, 1, 0, 0), -600},
      // Differences that no time zone explains.
      {"seven minutes off the quarter", At(2026, 6, 1, 10, 22), At(2026, 6, 1, 10, 0), std::nullopt},
      {"beyond +14:00", At(2026, 6, 2, 1, 0), At(2026, 6, 1, 10, 0), std::nullopt},
      {"beyond -12:00", At(2026, 6, 1, 10, 0), At(2026, 6, 2, 0, 0), std::nullopt},
      {"no date in the MDTM reply", At(2026, 6, 1, 10, 0), At(2026, 13, 1, 10, 0), std::nullopt},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(ListingOffsetMinutes(test.listed, test.utc), test.minutes) << test.what;
  }
}

TEST(ZoneOffsetText, ReadsTheUsualFormsWithinTheRealZones) {
  struct Case {
    const char* text;
    std::optional<int> minutes;
  } cases[] = {
      {"+05:30", 330}, {"-04:00", -240}, {"+0545", 345}, {"-3", -180}, {"+14:00", 840},
      {"-12:00", -720}, {"0", 0},       {"UTC", 0},      {"", std::nullopt},
      {"+14:15", std::nullopt},         {"-12:30", std::nullopt}, {"+05:60", std::nullopt},
      {"5:30pm", std::nullopt},         {"+05:30\n", std::nullopt}, {"--1", std::nullopt},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(ParseZoneOffset(test.text), test.minutes) << '"' << test.text << '"';
  }
  EXPECT_EQ(FormatZoneOffset(330), "+05:30");
  EXPECT_EQ(FormatZoneOffset(-570), "-09:30");
  EXPECT_EQ(FormatZoneOffset(0), "+00:00");
}

// "Mon dd HH:MM" as `ls -l` shows a recent time.
std::string ListedAt(std::time_t moment, int offset_minutes) {
  const std::time_t shown = moment + offset_minutes * 60;
  std::tm fields{};
  gmtime_r(&shown, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%b %e %H:%M", &fields);
  return text;
}

std::string MdtmOf(std::time_t moment) {
  std::tm fields{};
  gmtime_r(&moment, &fields);
  char text[32];
  std::strftime(text, sizeof text, "213 %Y%m%d%H%M%S", &fields);
  return text;
}

TEST(ListingTimeZone, IsLearntFromTheFirstFileTheServerWillDate) {
  // Two days back, on a whole minute: what the listing shows is exact.
  const std::time_t moment = (std::time(nullptr) - 2 * 86400) / 60 * 60;
  struct Case {
    const char* what;
    bool offers_mdtm;
    std::time_t expected;
  } cases[] = {
      {"MDTM offered: true times", true, moment},
      {"no MDTM: the times as the server shows them", false, moment + 330 * 60},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    ScriptedServer server;
    server.On("FEAT", [&](ScriptedServer::Session& session, const ScriptedServer::Command&) {
      session.Reply(test.offers_mdtm ? "211-Features:\r\n MDTM\r\n UTF8\r\n211 End" : "211-Features:\r\n UTF8\r\n211 End");
    });
    // The first file cannot be dated; the second can.
    server.On("MDTM", [&](ScriptedServer::Session& session, const ScriptedServer::Command& command) {
      session.Reply(command.argument == "second.txt" ? MdtmOf(moment) : "550 Could not get file modification time.");
    });
    server.SetListing({
        "drwxr-xr-x   2 owner group     4096 " + ListedAt(moment, 330) + " folder",
        "-rw-r--r--   1 owner group       10 " + ListedAt(moment, 330) + " first.txt",
        "-rw-r--r--   1 owner group       20 " + ListedAt(moment, 330) + " second.txt",
    });
    const std::string location = LocationOf(server.host(), server.port());
    TestSession session;
    ASSERT_TRUE(session.ftp.Connect(location, "u", "p", "", "", true)) << session.ftp.LastError();
    com::ComPtr<script::Collection> files, folders;
    ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders)) << session.ftp.LastError();
    ASSERT_EQ(files->Count(), 2);
    for (int index = 1; index <= 2; ++index) {
      EXPECT_EQ(files->Item(index).AsInterface<HostFile>()->DateModified().ToTimeT(), test.expected) << index;
    }
    EXPECT_EQ(folders->Item(1).AsInterface<HostFolder>()->DateModified().ToTimeT(), test.expected);
    EXPECT_EQ(session.ftp.ListingOffsetInUse(), test.offers_mdtm ? std::optional<int>(330) : std::nullopt);
    // Not offered: never asked.
    const auto commands = server.Commands();
    const bool asked = std::any_of(commands.begin(), commands.end(),
                                   [](const std::string& line) { return line.rfind("MDTM", 0) == 0; });
    EXPECT_EQ(asked, test.offers_mdtm);
  }
}

}  // namespace
}  // namespace orvex::ftp_testing
