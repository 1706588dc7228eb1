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
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_TRUE(Summary(first, "copied 5, skipped 0, deleted 0, failed 0")) << first.out;
    EXPECT_EQ(ReadTree(server.root() / folder), tree);

    auto again = Sync(server, local, folder, "--up");
    EXPECT_EQ(again.status, 0) << again.out << again.err;
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
    EXPECT_EQ(down.status, 0) << down.out << down.err;
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
  EXPECT_EQ(said.status, 0) << said.err;
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
    [](const auto& info) { return std::string(info.param.label); });

// A server whose LIST hides dot files and that takes "-a" for a name: a dot
// file cannot be compared, so it is neither sent on every run nor deleted.
TEST_F(CliTest, DotFilesAServerHidesAreReportedNotCopiedOrDeleted) {
  ScriptedServer server;
  server.SetListing({"-rw-r--r--   1 owner group        5 Jan  5  2024 index.html"});
  server.SetFile("/index.html", "index");
  WriteTree(Local("site"), {{"index.html", "index"}, {".htaccess", "deny"}, {".git/", ""}, {".git/HEAD", "x"}});
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";

  auto up = Orvex({"sync", Local("site").string(), url, "--up", "--user", "u", "--password-stdin"}, "p\n");
  EXPECT_EQ(up.status, 1) << up.out << up.err;
  EXPECT_NE(up.err.find(".htaccess: not verifiable"), std::string::npos) << up.err;
  EXPECT_NE(up.err.find(".git/: not verifiable"), std::string::npos) << up.err;
  EXPECT_FALSE(server.Uploaded("/.htaccess"));
  EXPECT_FALSE(server.Uploaded("/.git/HEAD"));

  auto down = Orvex({"sync", Local("site").string(), url, "--down", "--delete", "--user", "u", "--password-stdin"},
                    "p\n");
  EXPECT_EQ(down.status, 1) << down.out << down.err;
  EXPECT_EQ(ReadTree(Local("site")),
            (Tree{{"index.html", "index"}, {".htaccess", "deny"}, {".git/", ""}, {".git/HEAD", "x"}}));
}

}  // namespace
}  // namespace orvex::testing
