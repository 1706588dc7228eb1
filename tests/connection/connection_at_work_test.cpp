// Connecting, browsing and changing the remote tree through iPC, against a
// real server, as the host drives the plug-in.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "platform/error.h"
#include "tests/connection/plugin_fixture.h"

namespace orvex {
namespace {

using testing::ServerKind;
using testing_support::Marked;
using testing_support::PluginFixture;

std::vector<std::string> Names(const com::ComPtr<script::Collection>& items) {
  std::vector<std::string> names;
  for (std::int32_t i = 1; i <= items->Count(); ++i) {
    auto item = items->Item(i);
    if (auto file = item.AsInterface<HostFile>()) names.push_back(file->Name());
    if (auto folder = item.AsInterface<HostFolder>()) names.push_back(folder->Name());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class ConnectionAtWorkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
    fixture_.emplace(ServerKind::Pyftpdlib);
  }
  PluginFixture& f() { return *fixture_; }
  std::optional<PluginFixture> fixture_;
};

TEST_F(ConnectionAtWorkTest, ConnectFailureIsReportedOnceWithThePrefixAndTheBareMessage) {
  f().connection().Password("wrong");
  EXPECT_FALSE(f().plugin().iPC_Connect(0));
  EXPECT_FALSE(f().plugin().iPC_Connected());
  auto lines = f().LogLines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string bare = f().plugin().iPC_Properties()->LastError();
  EXPECT_TRUE(StartsWith(bare, "\xC2\xAB" "Connection to ftp://127.0.0.1 failed: ")) << bare;
  EXPECT_NE(bare.find("(12014)"), std::string::npos) << bare;
  EXPECT_EQ(lines[0], "FTP(7) " + bare);
  EXPECT_TRUE(f().host().services().MessageBoxes().empty()) << "a Create other than -1 never asks";
}

TEST_F(ConnectionAtWorkTest, ConnectSucceedsAndHandsTheServersFolderCacheToTheSession) {
  ASSERT_TRUE(f().plugin().iPC_Connect(0));
  EXPECT_TRUE(f().plugin().iPC_Connected());
  EXPECT_TRUE(f().LogLines().empty());
  // The cache is live: a cleared listing is fetched again, and clearing
  // works only once a cache is there.
  f().plugin().iPC_ClearFolderCache(f().location(), true);
  f().plugin().iPC_Disconnect();
  EXPECT_FALSE(f().plugin().iPC_Connected());
}

TEST(ConnectionWithoutServer, ShortLocationFailsSilentlyAndClearingWithoutACacheRaises) {
  testing_support::PluginAtPort f(1);  // nothing is dialled
  f.plugin().iPC_Init(f.host().plugin_interface(), "7", "ftp:/");
  f.connection().UserName("someone");
  EXPECT_FALSE(f.plugin().iPC_Connect());
  EXPECT_TRUE(f.LogLines().empty());
  EXPECT_TRUE(f.host().services().MessageBoxes().empty());
  EXPECT_THROW(f.plugin().iPC_ClearFolderCache("ftp://127.0.0.1", false), Error);
}

TEST_F(ConnectionAtWorkTest, BrowsesFoldersAndFilesWithHostPaths) {
  f().server().WriteFile("docs/read me.txt", "hello\n");
  f().server().WriteFile("docs/Ärger.bin", std::string(3000, 'x'));
  f().server().MakeFolder("docs/sub folder");
  ASSERT_TRUE(f().plugin().iPC_Connect(0));

  auto root_folders = f().plugin().iPC_GetFolders(f().location());
  ASSERT_TRUE(root_folders);
  EXPECT_EQ(Names(root_folders), (std::vector<std::string>{"docs"}));
  auto docs = root_folders->Item(1).AsInterface<HostFolder>();
  EXPECT_EQ(docs->Path(), f().path("docs"));

  auto files = f().plugin().iPC_GetFiles(docs->Path());
  ASSERT_TRUE(files);
  EXPECT_EQ(Names(files), (std::vector<std::string>{"read me.txt", "Ärger.bin"}));
  auto big = files->Item("Ärger.bin").AsInterface<HostFile>();
  EXPECT_EQ(big->Size(), 3000);
  EXPECT_EQ(big->Path(), f().path("docs/Ärger.bin"));
  EXPECT_NEAR(big->DateModified().serial(), Date::Now().serial(), 1.0 / 24);
  EXPECT_EQ(Names(f().plugin().iPC_GetFolders(docs->Path())), (std::vector<std::string>{"sub folder"}));
  EXPECT_EQ(Names(f().plugin().iPC_GetFiles(f().path("docs/sub folder"))), std::vector<std::string>{});

  auto single = f().plugin().iPC_GetFile(f().path("docs/read me.txt"));
  ASSERT_TRUE(single);
  EXPECT_EQ(single->Size(), 6);
  EXPECT_TRUE(f().LogLines().empty());
}

TEST_F(ConnectionAtWorkTest, UnlistedItemsComeBackAsPlaceholdersAndFailingListingsAsNothing) {
  ASSERT_TRUE(f().plugin().iPC_Connect(0));
  auto file = f().plugin().iPC_GetFile(f().path("nowhere.txt"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Name(), "nowhere.txt");
  EXPECT_EQ(file->Path(), f().path("nowhere.txt"));
  EXPECT_EQ(file->Size(), 0);
  EXPECT_EQ(file->DateModified(), Date(0));
  auto folder = f().plugin().iPC_GetFolder(f().path("no folder"));
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->Name(), "no folder");
  EXPECT_TRUE(f().LogLines().empty()) << "a placeholder is no failure";

  EXPECT_FALSE(f().plugin().iPC_GetFiles(f().path("missing")));
  EXPECT_FALSE(f().plugin().iPC_GetFolders(f().path("missing")));
  auto lines = f().LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(StartsWith(lines[0], "FTP(7) \xC2\xAB" "Error getting files for: " + f().path("missing") + ": "))
      << lines[0];
  EXPECT_TRUE(StartsWith(lines[1], "FTP(7) \xC2\xAB" "Error getting sub-folders for: ")) << lines[1];
}

TEST_F(ConnectionAtWorkTest, CreatesRenamesAndDeletesOnTheServerAndMarksTheItems) {
  f().server().WriteFile("docs/a.txt", "abc");
  ASSERT_TRUE(f().plugin().iPC_Connect(0));
  const auto root = f().server().root();

  double before = Date::Now().serial();
  auto created = f().plugin().iPC_CreateFolder(f().path("new/deeper"));
  ASSERT_TRUE(created) << f().plugin().iPC_Properties()->LastError();
  EXPECT_TRUE(std::filesystem::is_directory(root / "new" / "deeper"));
  EXPECT_EQ(created->Name(), "deeper");
  EXPECT_GE(created->DateModified().serial(), before - 1e-6) << "the local time of the call";

  auto file = f().plugin().iPC_GetFiles(f().path("docs"))->Item("a.txt").AsInterface<HostFile>();
  auto renamed = f().plugin().iPC_RenameFile(file, "b.txt");
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->Path(), f().path("docs\\b.txt"));
  EXPECT_EQ(renamed->Name(), "b.txt");
  EXPECT_EQ(renamed->Size(), file->Size());
  EXPECT_EQ(renamed->DateModified(), file->DateModified());
  EXPECT_TRUE(file->Deleted());
  EXPECT_TRUE(std::filesystem::exists(root / "docs" / "b.txt"));
  EXPECT_EQ(Names(f().plugin().iPC_GetFiles(f().path("docs"))), (std::vector<std::string>{"b.txt"}))
      << "the cached listing follows the rename";

  auto folder = f().plugin().iPC_GetFolder(f().path("new"));
  auto moved = f().plugin().iPC_RenameFolder(folder, "newer");
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->Path(), f().path("newer"));
  EXPECT_TRUE(std::filesystem::is_directory(root / "newer" / "deeper"));

  EXPECT_TRUE(f().plugin().iPC_DeleteFile(renamed, 12345));
  EXPECT_TRUE(renamed->Deleted());
  EXPECT_FALSE(std::filesystem::exists(root / "docs" / "b.txt"));
  EXPECT_TRUE(f().plugin().iPC_DeleteFolder(moved, 0)) << f().plugin().iPC_Properties()->LastError();
  EXPECT_FALSE(std::filesystem::exists(root / "newer"));
  EXPECT_TRUE(f().LogLines().empty());
}

TEST_F(ConnectionAtWorkTest, RefusedOperationsAreReportedAndLeaveTheItemsAlone) {
  f().server().WriteFile("docs/a.txt", "abc");
  f().server().WriteFile("other/keep.txt", "keep");
  ASSERT_TRUE(f().plugin().iPC_Connect(0));
  auto file = f().plugin().iPC_GetFile(f().path("docs/a.txt"));

  auto ghost = NewHostFile();
  ghost->Init(f().path("docs/ghost.txt"), "ghost.txt", 0, Date(0), 0, false);
  EXPECT_FALSE(f().plugin().iPC_DeleteFile(ghost, 0));
  EXPECT_FALSE(ghost->Deleted());

  // A new name with a path would move the item behind the host's back: it is
  // refused before the server is asked.
  for (const char* bad : {"", ".", "..", "../other/a.txt", "sub\\a.txt", "x/y"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(f().plugin().iPC_RenameFile(file, bad));
    EXPECT_FALSE(file->Deleted());
  }
  EXPECT_TRUE(std::filesystem::exists(f().server().root() / "docs" / "a.txt"));
  EXPECT_FALSE(std::filesystem::exists(f().server().root() / "other" / "a.txt"));

  auto lines = f().LogLines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_TRUE(StartsWith(lines[0], "FTP(7) \xC2\xAB" "An error occurred while deleting file: " + f().path("docs/ghost.txt") + ": "))
      << lines[0];
  EXPECT_EQ(lines[2], "FTP(7) " + Marked("Error renaming file: " + f().path("docs/a.txt") + " to: .: " +
                                         Marked("Invalid name: a new name may not be empty, \".\" or \"..\", nor contain \"/\" or \"\\\".")));
  EXPECT_EQ(f().plugin().iPC_Properties()->LastError(), lines.back().substr(7));
}

TEST(ConnectionAnonymous, AnonymousLoginIgnoresTheLeftoverLoginFields) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  testing::FtpServerOptions options;
  options.allow_anonymous = true;
  PluginFixture f(ServerKind::Pyftpdlib, options);
  f.connection().Anonymous(true);
  f.connection().UserName("leftover");
  f.connection().Password("not the real one");
  EXPECT_TRUE(f.plugin().iPC_Connect(0)) << f.plugin().iPC_Properties()->LastError();
}

}  // namespace
}  // namespace orvex
