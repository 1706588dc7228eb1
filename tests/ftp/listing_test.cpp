// Listings: items from real servers, the folder cache, letter case, large
// sizes, navigation entries, single items and the current folder.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/ftp/session_fixture.h"
#include "tests/support/ftp_server.h"
#include "tests/support/scripted_server.h"

namespace orvex::ftp_testing {
namespace {

using namespace std::chrono_literals;
using orvex::testing::AllServerKinds;
using orvex::testing::FtpServer;
using orvex::testing::ScriptedServer;
using orvex::testing::ServerKind;
using Strings = std::vector<std::string>;

class ListingOnServer : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(GetParam());
    server_ = std::make_unique<FtpServer>(GetParam());
  }
  bool Connect(const std::string& folder = "") {
    location_ = LocationOf(server_->host(), server_->port(), folder);
    return session_.ftp.Connect(location_, server_->user(), server_->password(), "");
  }

  std::unique_ptr<FtpServer> server_;
  TestSession session_;
  std::string location_;
  com::ComPtr<script::Collection> files_, folders_;
};

TEST_P(ListingOnServer, ItemsCarryNamePathSizeAndDate) {
  server_->WriteFile("pub/a.txt", "hello");
  server_->MakeFolder("pub/sub");
  server_->MakeFolder("pub/empty");
  // A recent time, so that even LIST shows hours and minutes.
  const auto written = std::filesystem::file_time_type::clock::now() - 10min;
  std::filesystem::last_write_time(server_->root() / "pub/a.txt", written);
  ASSERT_TRUE(Connect("/pub")) << session_.ftp.LastError();

  ASSERT_TRUE(session_.ftp.ListDirectory(location_, files_, folders_)) << session_.ftp.LastError();
  EXPECT_EQ(Names(files_), Strings{"a.txt"});
  EXPECT_EQ(folders_->Count(), 2);
  const auto file = files_->Item("A.TXT").AsInterface<HostFile>();  // keys ignore case
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Path(), location_ + "\\a.txt");
  EXPECT_EQ(file->Size(), 5.0);
  const auto date = file->DateModified().ToCalendar();
  EXPECT_EQ(date.millisecond, 0);
  const auto expected = Date::FromTimeT(std::chrono::system_clock::to_time_t(
      std::chrono::file_clock::to_sys(written)));
  EXPECT_LT(std::abs(file->DateModified().serial() - expected.serial()), 2.0 / 24 / 60)
      << "times are local and whole minutes at least";
  EXPECT_EQ(folders_->Item("sub").AsInterface<HostFolder>()->Path(), location_ + "\\sub");

  // An empty folder, and a folder that does not exist.
  ASSERT_TRUE(session_.ftp.ListDirectory(location_ + "\\empty", files_, folders_));
  EXPECT_EQ(files_->Count() + folders_->Count(), 0);
  com::ComPtr<script::Collection> cached_files, cached_folders;
  EXPECT_TRUE(session_.cache->GetContents(location_ + "\\empty", cached_folders, cached_files));

  EXPECT_FALSE(session_.ftp.ListDirectory(location_ + "\\missing", files_, folders_));
  ASSERT_TRUE(files_ && folders_);
  EXPECT_EQ(files_->Count() + folders_->Count(), 0);
  EXPECT_NE(session_.ftp.LastError().find(" (550)"), std::string::npos) << session_.ftp.LastError();
  EXPECT_FALSE(session_.cache->GetContents(location_ + "\\missing", cached_folders, cached_files));

  EXPECT_EQ(session_.ftp.GetCurrentDirectory(), location_ + "/empty");
}

TEST_P(ListingOnServer, NamesDifferingOnlyInCaseAreAllListed) {
  server_->WriteFile("Read.me", "1");
  server_->WriteFile("READ.ME", "22");
  server_->WriteFile("read.me", "333");
  server_->MakeFolder("Docs");
  server_->MakeFolder("docs");
  ASSERT_TRUE(Connect());
  for (int round = 0; round < 2; ++round) {  // from the server, then from the cache
    SCOPED_TRACE(round);
    ASSERT_TRUE(session_.ftp.ListDirectory(location_, files_, folders_)) << session_.ftp.LastError();
    EXPECT_EQ(files_->Count(), 3);
    EXPECT_EQ(folders_->Count(), 2);
    // Each name finds its own item, exactly spelt.
    for (const auto& [name, size] :
         std::vector<std::pair<std::string, double>>{{"Read.me", 1}, {"READ.ME", 2}, {"read.me", 3}}) {
      const auto file = session_.ftp.GetFile(location_ + "\\" + name);
      ASSERT_TRUE(file) << name;
      EXPECT_EQ(file->Name(), name);
      EXPECT_EQ(file->Size(), size);
    }
    EXPECT_EQ(session_.ftp.GetFolder(location_ + "\\docs")->Name(), "docs");
    EXPECT_EQ(session_.ftp.GetFolder(location_ + "\\Docs")->Name(), "Docs");
  }
  // The enumeration was closed: the connection still works.
  EXPECT_TRUE(session_.ftp.ListDirectory(location_ + "\\docs", files_, folders_))
      << session_.ftp.LastError();
}

TEST_P(ListingOnServer, SizesOf4GiBAndMoreAreExact) {
  const std::uint64_t size = (5ull << 30) + 7;  // sparse: no disk is used
  for (const auto& [name, length] : {std::pair{"big.bin", size}, {"two.bin", (2ull << 30) + 1}}) {
    std::ofstream{server_->root() / name};
    std::filesystem::resize_file(server_->root() / name, length);
  }
  server_->AdoptFiles();
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(session_.ftp.ListDirectory(location_, files_, folders_));
  EXPECT_EQ(files_->Item("big.bin").AsInterface<HostFile>()->Size(), static_cast<double>(size));
  EXPECT_EQ(files_->Item("two.bin").AsInterface<HostFile>()->Size(), 2147483649.0);
}

INSTANTIATE_TEST_SUITE_P(Servers, ListingOnServer, ::testing::ValuesIn(AllServerKinds()),
                         ::orvex::testing::NameTestsByServer());

TEST(ListingCache, CachedListingsNeverReachTheServerAndNoCacheStillRefreshes) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.WriteFile("a.txt", "a");
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  ASSERT_TRUE(session.ftp.Connect(location, server.user(), server.password(), ""));
  com::ComPtr<script::Collection> files, folders;
  ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders));
  EXPECT_EQ(Names(files), Strings{"a.txt"});

  // NoCache asks the server and puts the fresh listing into the cache.
  server.WriteFile("b.txt", "b");
  session.ftp.NoCache(true);
  ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders));
  EXPECT_EQ(files->Count(), 2);

  // With the server gone, the cache answers alone.
  server.Stop();
  session.ftp.NoCache(false);
  ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders)) << session.ftp.LastError();
  EXPECT_EQ(files->Count(), 2);
  ASSERT_TRUE(session.ftp.GetFile(location + "\\b.txt"));

  // The location itself is answered without the server; a folder of the same
  // length is not the location.
  const auto root = session.ftp.GetFolder(location);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->Path(), location);
  EXPECT_EQ(root->Name(), "ftp:");
  EXPECT_EQ(root->DateModified(), Date(0));
  std::string sibling = location;
  sibling.back() = sibling.back() == '1' ? '2' : '1';
  EXPECT_FALSE(session.ftp.GetFolder(sibling));
}

TEST(ListingNavigationEntries, DotAndDotDotFollowTheSwitch) {
  ScriptedServer server;
  server.SetListing({
      "drwxr-xr-x   2 owner group     4096 Jan  5 10:00 .",
      "drwxr-xr-x   3 owner group     4096 Jan  5 10:00 ..",
      "drwxr-xr-x   2 owner group     4096 Jan  5 10:00 sub",
      "-rw-r--r--   1 owner group       10 Jan  5 10:00 ...",
  });
  const std::string location = LocationOf(server.host(), server.port());
  struct Case {
    bool skip;
    Strings folders;
  } cases[] = {{true, {"sub"}}, {false, {".", "..", "sub"}}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.skip);
    TestSession session;
    session.ftp.SkipServUNavigationFolders(test.skip);
    ASSERT_TRUE(session.ftp.Connect(location, "u", "p", "", "", true));
    com::ComPtr<script::Collection> files, folders;
    ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders)) << session.ftp.LastError();
    EXPECT_EQ(Names(folders), test.folders);
    EXPECT_EQ(Names(files), Strings{"..."});
  }
}

// Dates a host date cannot hold never fail the listing: a server's
// 9999-12-31 23:59:59 UTC is in the year 10000 east of Greenwich. Such an
// item is dated at the last second the host can show; the rest of the folder
// is listed as ever.
TEST(ListingDates, ATimeBeyondTheHostsLastDateListsAtThatDate) {
  const char* saved = std::getenv("TZ");
  const std::optional<std::string> saved_zone = saved ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("TZ", "UTC-9", 1);  // nine hours east, no daylight saving
  ::tzset();
  ScriptedServer server;
  server.On("FEAT", ScriptedServer::Fixed("211-Features:\r\n MLST type*;size*;modify*;\r\n EPSV\r\n211 End"));
  server.On("MLSD", [](ScriptedServer::Session& s, const ScriptedServer::Command&) {
    s.Reply("150 Here it comes");
    s.SendData("type=file;size=1;modify=20240105100000; first.txt\r\n"
               "type=file;size=2;modify=99991231235959; future.txt\r\n"
               "type=dir;modify=99991231200000; later\r\n"
               "type=file;size=3;modify=20240105100000; last.txt\r\n");
    s.Reply("226 Done");
  });
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));
  com::ComPtr<script::Collection> files, folders;
  bool listed = false;
  EXPECT_NO_THROW(listed = session.ftp.ListDirectory(location, files, folders));
  if (saved_zone) {
    ::setenv("TZ", saved_zone->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  ASSERT_TRUE(listed) << session.ftp.LastError();
  EXPECT_EQ(Names(files), (Strings{"first.txt", "future.txt", "last.txt"}));
  EXPECT_EQ(Names(folders), Strings{"later"});
  for (const auto& date : {files->Item("future.txt").AsInterface<HostFile>()->DateModified(),
                           folders->Item("later").AsInterface<HostFolder>()->DateModified()}) {
    const auto last = date.ToCalendar();
    EXPECT_EQ(last.year, 9999);
    EXPECT_EQ(last.month, 12);
    EXPECT_EQ(last.day, 31);
    EXPECT_EQ(last.hour, 23);
    EXPECT_EQ(last.minute, 59);
    EXPECT_EQ(last.second, 59);
  }
}

}  // namespace
}  // namespace orvex::ftp_testing
