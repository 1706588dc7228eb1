// True modification times across servers and client time zones: every
// server runs in a time zone of its own (India, UTC+05:30), the client in
// four others. Whatever the zones, a repeated `sync --up` copies nothing, a
// same-size edit with a newer time goes up, a same-size edit with an older
// time is put back by `sync --down`, and dot files are copied once.

#include <chrono>

#include "tests/cli/cli_fixture.h"
#include "tests/support/scripted_server.h"

namespace orvex::testing {
namespace {

namespace fs = std::filesystem;

// The server's zone as a POSIX TZ text (the servers lock themselves into the
// user's folder, where no zone files can be read).
constexpr char kServerZone[] = "<+0530>-5:30";

bool Summary(const OrvexResult& result, const std::string& counts) {
  return result.out.find(counts) != std::string::npos;
}

void SetTime(const fs::path& path, std::chrono::system_clock::time_point time) {
  fs::last_write_time(path, fs::file_time_type::clock::from_sys(time));
}

std::chrono::system_clock::time_point TimeOf(const fs::path& path) {
  return std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      fs::file_time_type::clock::to_sys(fs::last_write_time(path)));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

struct TimesCase {
  const char* label;
  ServerKind kind;
  bool list_local_times = false;
  // For a server that misreports its times: what the user tells orvex.
  std::string server_time_offset;
  // What `orvex info` says about the server's times.
  std::string times_said;
  // Uploads get the local file's time (MFMT, or MDTM with a time); otherwise
  // the server dates each copy when it arrives.
  bool sets_times = true;
};

class TrueTimes : public CliTest, public ::testing::WithParamInterface<TimesCase> {
 protected:
  OrvexResult Sync(const FtpServer& server, const fs::path& local, const std::string& folder,
                   const std::string& direction, std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"sync", local.string(), Url(server, folder), direction};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    if (!GetParam().server_time_offset.empty()) {
      arguments.insert(arguments.end(), {"--server-time-offset", GetParam().server_time_offset});
    }
    return WithLogin(server, arguments);
  }
};

TEST_P(TrueTimes, EveryClientTimeZoneComparesTrueTimes) {
  const TimesCase& test = GetParam();
  ORVEX_REQUIRE_SERVER(test.kind);
  FtpServerOptions options;
  options.time_zone = kServerZone;
  options.list_local_times = test.list_local_times;
  FtpServer server(test.kind, options);

  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  for (const char* zone : {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata"}) {
    SCOPED_TRACE(zone);
    SetClientTimeZone(zone);
    std::string folder = zone;
    std::replace(folder.begin(), folder.end(), '/', '-');
    server.MakeFolder(folder);
    const fs::path local = Local(folder);
    const Tree tree = {
        {"page.html", "<p>first</p>"},
        {".htaccess", "Require all denied\n"},
        {"sub/", ""},
        {"sub/data.bin", BinaryContent(70 * 1024, 5)},
        {"sub/.hidden", "h"},
        {"old.txt", "from long ago"},
    };
    WriteTree(local, tree);
    // Times with seconds, two days back; one file so old that `ls -l`
    // shows its day only.
    for (const char* name : {"page.html", ".htaccess", "sub/data.bin", "sub/.hidden"}) {
      SetTime(local / name, now - std::chrono::hours(49) + std::chrono::seconds(17));
    }
    SetTime(local / "old.txt", now - std::chrono::days(400) + std::chrono::seconds(37 * 60 + 11));

    auto first = Sync(server, local, folder, "--up");
    ASSERT_EQ(first.status, kSuccess) << first.out << first.err;
    EXPECT_TRUE(Summary(first, "copied 5, skipped 0, deleted 0, failed 0")) << first.out;
    EXPECT_EQ(ReadTree(server.root() / folder), tree);

    auto again = Sync(server, local, folder, "--up");
    EXPECT_EQ(again.status, kSuccess) << again.out << again.err;
    EXPECT_TRUE(Summary(again, "copied 0, skipped 5, deleted 0, failed 0")) << again.out << again.err;

    // A same-size edit, ten minutes newer than the server's copy: sent.
    const auto uploaded = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const auto edited = (test.sets_times ? TimeOf(local / "page.html") : uploaded) + std::chrono::minutes(10);
    std::ofstream(local / "page.html", std::ios::trunc) << "<p>again</p>";
    SetTime(local / "page.html", edited);
    auto newer = Sync(server, local, folder, "--up");
    EXPECT_TRUE(Summary(newer, "copied 1, skipped 4, deleted 0, failed 0")) << newer.out << newer.err;
    EXPECT_EQ(ReadFile(server.root() / folder / "page.html"), "<p>again</p>");

    // A same-size local edit dated before the server's copy: the mirror
    // puts the server's copy back.
    std::ofstream(local / "page.html", std::ios::trunc) << "<p>local</p>";
    SetTime(local / "page.html", (test.sets_times ? edited : uploaded) - std::chrono::minutes(20));
    auto down = Sync(server, local, folder, "--down", {"--delete"});
    EXPECT_EQ(down.status, kSuccess) << down.out << down.err;
    // Where the server dated every copy itself, all its copies differ from
    // the local files and come back with the server's dates.
    EXPECT_TRUE(Summary(down, test.sets_times ? "copied 1, skipped 4, deleted 0, failed 0"
                                              : "copied 5, skipped 0, deleted 0, failed 0"))
        << down.out << down.err;
    EXPECT_EQ(ReadFile(local / "page.html"), "<p>again</p>");
    EXPECT_EQ(ReadTree(local), ReadTree(server.root() / folder));

    auto down_again = Sync(server, local, folder, "--down", {"--delete"});
    EXPECT_TRUE(Summary(down_again, "copied 0, skipped 5, deleted 0, failed 0")) << down_again.out;
  }

  std::vector<std::string> info = {"info", Url(server, "UTC")};
  if (!test.server_time_offset.empty()) info.insert(info.end(), {"--server-time-offset", test.server_time_offset});
  auto said = WithLogin(server, info);
  EXPECT_EQ(said.status, kSuccess) << said.err;
  EXPECT_NE(said.out.find(test.times_said), std::string::npos) << said.out;
  EXPECT_NE(said.out.find("Dot files:      listed"), std::string::npos) << said.out;
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TrueTimes,
    ::testing::Values(TimesCase{"pyftpdlib", ServerKind::Pyftpdlib, false, "", "UTC, shown as local"},
                      TimesCase{"vsftpd", ServerKind::Vsftpd, false, "", "listed at UTC+00:00 (learnt"},
                      TimesCase{"pureftpd", ServerKind::PureFtpd, false, "", "UTC, shown as local"},
                      TimesCase{"proftpd", ServerKind::Proftpd, false, "", "UTC, shown as local"},
                      // LIST only, on the server's clock; MDTM in UTC: the
                      // zone is learnt.
                      TimesCase{"proftpd_list_local", ServerKind::Proftpd, true, "", "listed at UTC+05:30 (learnt",
                                false},
                      // Listing and MDTM both on the server's clock while
                      // claiming UTC: only the user can say.
                      TimesCase{"vsftpd_local_with_offset", ServerKind::Vsftpd, true, "+05:30",
                                "taken as UTC+05:30 (the configured"}),
    [](const auto& test) { return std::string(test.param.label); });

// A POSIX TZ text for a zone at UTC+01:00 with summer time (UTC+02:00) from
// `from` to `to` (whole days; the rule needs no zone files).
std::string ZoneWithSummerTime(std::chrono::system_clock::time_point from, std::chrono::system_clock::time_point to) {
  const auto julian_day = [](std::chrono::system_clock::time_point time) {
    const std::chrono::year_month_day date{std::chrono::floor<std::chrono::days>(time)};
    // "Jn" counts 1 to 365 and never 29 February.
    const auto start = std::chrono::sys_days{date.year() / std::chrono::January / 1};
    int day = static_cast<int>((std::chrono::sys_days{date} - start).count()) + 1;
    if (date.year().is_leap() && date.month() > std::chrono::February) --day;
    return std::to_string(std::min(day, 365));
  };
  return "<+01>-1<+02>,J" + julian_day(from) + ",J" + julian_day(to);
}

// A LIST server on a clock with summer time lists winter files an hour apart
// from summer ones: one offset learnt from one file must not date them all.
// Downloads carry the server's true times whatever side of the change a file
// lies on, so a later `sync --up` finds nothing to send.
TEST_F(CliTest, ListingTimesAreTrueOnBothSidesOfASummerTimeChange) {
  ORVEX_REQUIRE_SERVER(ServerKind::Proftpd);
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  FtpServerOptions options;
  options.time_zone = ZoneWithSummerTime(now - std::chrono::days(30), now + std::chrono::days(30));
  options.list_local_times = true;
  FtpServer server(ServerKind::Proftpd, options);
  // Listed in the order of their names; "a" first, learnt from first.
  const std::vector<std::pair<std::string, std::chrono::system_clock::time_point>> files = {
      {"a summer.txt", now - std::chrono::days(10) + std::chrono::seconds(17)},
      {"b winter.txt", now - std::chrono::days(50) + std::chrono::seconds(41)},
      {"c summer.txt", now - std::chrono::days(20) + std::chrono::seconds(5)},
      {"d winter.txt", now - std::chrono::days(40) + std::chrono::seconds(29)},
  };
  for (const auto& [name, time] : files) {
    server.WriteFile(name, name);
    SetTime(server.root() / name, time);
  }
  for (const char* zone : {"UTC", "Europe/Berlin"}) {
    SCOPED_TRACE(zone);
    SetClientTimeZone(zone);
    const fs::path local = Local(std::string("site-") + (zone[0] == 'U' ? "utc" : "berlin"));
    fs::create_directories(local);
    auto down = WithLogin(server, {"sync", local.string(), Url(server), "--down"});
    ASSERT_EQ(down.status, kSuccess) << down.out << down.err;
    for (const auto& [name, time] : files) {
      const auto off = TimeOf(local / name) - time;
      EXPECT_LE(std::chrono::abs(off), std::chrono::seconds(60))
          << name << " is " << std::chrono::duration_cast<std::chrono::seconds>(off).count() << " s off";
    }
    auto up = WithLogin(server, {"sync", local.string(), Url(server), "--up"});
    EXPECT_TRUE(Summary(up, "copied 0, skipped 4, deleted 0, failed 0")) << up.out << up.err;
  }
}

// Files dated at the very start of 1970 (how reproducible builds date their
// output) or before it are dated on the server like any other, so a second
// `sync --up` finds them unchanged instead of sending them again and again.
TEST_F(CliTest, FilesDatedAtOrBefore1970AreCopiedOnce) {
  for (const ServerKind kind : {ServerKind::Pyftpdlib, ServerKind::Vsftpd}) {
    SCOPED_TRACE(ServerKindName(kind));
    ORVEX_REQUIRE_SERVER(kind);
    FtpServer server(kind);
    const fs::path local = Local(std::string("old-") + ServerKindName(kind));
    WriteTree(local, {{"epoch.txt", "zero"}, {"second.txt", "one"}, {"1965.txt", "older"}});
    SetTime(local / "epoch.txt", std::chrono::system_clock::from_time_t(0));
    SetTime(local / "second.txt", std::chrono::system_clock::from_time_t(1));
    SetTime(local / "1965.txt", std::chrono::system_clock::from_time_t(-157766400 + 3723));
    auto first = WithLogin(server, {"sync", local.string(), Url(server), "--up"});
    ASSERT_EQ(first.status, kSuccess) << first.out << first.err;
    EXPECT_TRUE(Summary(first, "copied 3, skipped 0, deleted 0, failed 0")) << first.out;
    auto again = WithLogin(server, {"sync", local.string(), Url(server), "--up"});
    EXPECT_EQ(again.status, kSuccess) << again.out << again.err;
    EXPECT_TRUE(Summary(again, "copied 0, skipped 3, deleted 0, failed 0")) << again.out << again.err;
  }
}

// A server whose LIST hides dot files and that takes "-a" for a name: a dot
// file cannot be compared, so it is neither sent on every run nor deleted.
TEST_F(CliTest, DotFilesAServerHidesAreReportedNotCopiedOrDeleted) {
  ScriptedServer server;
  server.SetListing({"-rw-r--r--   1 owner group        5 Jan  5  2024 index.html"});
  server.SetFile("/index.html", "index");
  WriteTree(Local("site"), {{"index.html", "index"}, {".htaccess", "deny"}, {".git/", ""}, {".git/HEAD", "x"}});
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";

  auto up = Orvex({"sync", Local("site").string(), url, "--up", "--user", "u", "--password-stdin"}, "p\n");
  EXPECT_EQ(up.status, kFailure) << up.out << up.err;
  EXPECT_NE(up.err.find(".htaccess: not verifiable"), std::string::npos) << up.err;
  EXPECT_NE(up.err.find(".git/: not verifiable"), std::string::npos) << up.err;
  EXPECT_FALSE(server.Uploaded("/.htaccess"));
  EXPECT_FALSE(server.Uploaded("/.git/HEAD"));

  auto down = Orvex({"sync", Local("site").string(), url, "--down", "--delete", "--user", "u", "--password-stdin"},
                    "p\n");
  EXPECT_EQ(down.status, kFailure) << down.out << down.err;
  EXPECT_EQ(ReadTree(Local("site")),
            (Tree{{"index.html", "index"}, {".htaccess", "deny"}, {".git/", ""}, {".git/HEAD", "x"}}));
}

// A server that offers MFMT and then refuses it for a file: the upload
// stands, and the user is told why the next run will send the file again
// rather than finding it copied anew each time without a word.
TEST_F(CliTest, AnUploadWhoseTimeTheServerRefusedIsSaidToBeSentAgain) {
  ScriptedServer server;
  server.On("FEAT", ScriptedServer::Fixed("211-Features:\r\n EPSV\r\n SIZE\r\n MDTM\r\n MFMT\r\n211 End"));
  server.On("MFMT", ScriptedServer::Fixed("550 Not allowed to change the time"));
  server.SetListing({});
  WriteTree(Local("site"), {{"page.html", "<p>page</p>"}});
  SetTime(Local("site") / "page.html", std::chrono::system_clock::now() - std::chrono::hours(49));
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";

  auto up = Orvex({"sync", Local("site").string(), url, "--up", "--no-temp-copy", "--user", "u", "--password-stdin"},
                  "p\n");
  EXPECT_EQ(up.status, kSuccess) << up.out << up.err;
  EXPECT_TRUE(Summary(up, "copied 1, skipped 0, deleted 0, failed 0")) << up.out;
  EXPECT_EQ(server.Uploaded("/page.html").value_or(""), "<p>page</p>") << up.out << up.err;
  EXPECT_NE(up.err.find("page.html: the server did not take the file's time"), std::string::npos) << up.err;
}

}  // namespace
}  // namespace orvex::testing
