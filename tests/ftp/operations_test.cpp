// Deleting, renaming and creating on real servers; tree deletion that ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "connection/host/host_objects.h"
#include "tests/ftp/session_fixture.h"
#include "tests/support/ftp_server.h"
#include "tests/support/scripted_server.h"

namespace orvex::ftp_testing {
namespace {

using orvex::testing::AllServerKinds;
using orvex::testing::FtpServer;
using orvex::testing::ScriptedServer;
using orvex::testing::ServerKind;
using orvex::testing::ServerKindName;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

class OperationsOnServer : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(GetParam());
    server_ = std::make_unique<FtpServer>(GetParam());
  }
  void Connect() {
    location_ = LocationOf(server_->host(), server_->port());
    ASSERT_TRUE(session_.ftp.Connect(location_, server_->user(), server_->password(), ""))
        << session_.ftp.LastError();
  }
  // Lists `path` (so the cache holds it) and returns the folders and files.
  void List(const std::string& path) {
    ASSERT_TRUE(session_.ftp.ListDirectory(path, files_, folders_)) << session_.ftp.LastError();
  }
  Strings CachedNames(const std::string& path, bool folders) {
    com::ComPtr<script::Collection> cached_files, cached_folders;
    if (!session_.cache->GetContents(path, cached_folders, cached_files)) return {"<not cached>"};
    return Names(folders ? cached_folders : cached_files);
  }
  bool OnDisk(const std::string& relative) { return fs::exists(server_->root() / relative); }

  std::unique_ptr<FtpServer> server_;
  TestSession session_;
  std::string location_;
  com::ComPtr<script::Collection> files_, folders_;
};

TEST_P(OperationsOnServer, DeletingANestedFolderDeletesEverythingBelowAndLeavesTheCache) {
  server_->WriteFile("tree/a.txt", "a");
  server_->WriteFile("tree/sub/b.txt", "b");
  server_->WriteFile("tree/sub/deeper/c.txt", "c");
  server_->MakeFolder("tree/sub/deeper/empty");
  server_->WriteFile("keep.txt", "k");
  Connect();
  List(location_);
  const auto tree = ItemNamed<HostFolder>(folders_, "tree");
  List(location_ + "\\tree");
  const auto a = ItemNamed<HostFile>(files_, "a.txt");
  const auto sub = ItemNamed<HostFolder>(folders_, "sub");
  ASSERT_TRUE(tree && a && sub);

  EXPECT_TRUE(session_.ftp.DeleteDirectory(tree)) << session_.ftp.LastError();
  EXPECT_FALSE(OnDisk("tree"));
  EXPECT_TRUE(OnDisk("keep.txt"));
  EXPECT_TRUE(tree->Deleted());
  EXPECT_TRUE(a->Deleted());
  EXPECT_TRUE(sub->Deleted());
  EXPECT_EQ(CachedNames(location_, true), Strings{});
  EXPECT_EQ(CachedNames(location_, false), Strings{"keep.txt"});
  EXPECT_EQ(CachedNames(location_ + "\\tree", false), Strings{"<not cached>"});
  EXPECT_EQ(session_.ftp.GetCurrentDirectory(), location_ + "/");
}

TEST_P(OperationsOnServer, AFolderThatStaysNonEmptyEndsTheDeletionWithFalse) {
  // vsftpd hides dot files from its listings (it has no MLSD): the deletion
  // cannot see them, so the folder never empties. The others show them.
  server_->WriteFile("tree/.hidden", "h");
  server_->WriteFile("tree/seen.txt", "s");
  Connect();
  List(location_);
  const auto tree = ItemNamed<HostFolder>(folders_, "tree");
  ASSERT_TRUE(tree);
  const bool shows_dot_files = GetParam() != ServerKind::Vsftpd;
  EXPECT_EQ(session_.ftp.DeleteDirectory(tree), shows_dot_files);
  EXPECT_FALSE(OnDisk("tree/seen.txt"));
  EXPECT_EQ(OnDisk("tree"), !shows_dot_files);
  if (!shows_dot_files) {
    EXPECT_NE(session_.ftp.LastError().find(" (5"), std::string::npos) << session_.ftp.LastError();
    EXPECT_FALSE(tree->Deleted());
  }
}

TEST_P(OperationsOnServer, RenamesInPlaceAndUpdatesTheCache) {
  server_->WriteFile("pub/a.txt", "a");
  server_->MakeFolder("pub/old");
  server_->WriteFile("pub/c.txt", "c");
  Connect();
  const std::string pub = location_ + "/pub";
  List(pub);
  const auto a = ItemNamed<HostFile>(files_, "a.txt");
  const auto old = ItemNamed<HostFolder>(folders_, "old");
  ASSERT_TRUE(a && old);

  EXPECT_TRUE(session_.ftp.RenameFile(a, "b.txt", "ignored")) << session_.ftp.LastError();
  EXPECT_TRUE(OnDisk("pub/b.txt"));
  EXPECT_FALSE(OnDisk("pub/a.txt"));
  EXPECT_TRUE(a->Deleted());
  EXPECT_EQ(a->Path(), pub + "\\a.txt");
  EXPECT_EQ(CachedNames(pub, false), (Strings{"c.txt", "b.txt"}));
  EXPECT_EQ(session_.ftp.GetFile(pub + "\\b.txt")->Path(), pub + "\\b.txt");

  EXPECT_TRUE(session_.ftp.RenameFolder(old, "new")) << session_.ftp.LastError();
  EXPECT_TRUE(OnDisk("pub/new"));
  EXPECT_TRUE(old->Deleted());
  EXPECT_EQ(session_.ftp.GetFolder(pub + "\\new")->Path(), pub + "\\new");

  // Without an item only the server changes.
  EXPECT_TRUE(session_.ftp.RenameFile({}, "d.txt", pub + "\\c.txt"));
  EXPECT_TRUE(OnDisk("pub/d.txt"));
  EXPECT_EQ(CachedNames(pub, false), (Strings{"c.txt", "b.txt"}));
  // A refused rename leaves the item as it was.
  const auto b = session_.ftp.GetFile(pub + "\\b.txt");
  b->Path(pub + "\\missing.txt");
  EXPECT_FALSE(session_.ftp.RenameFile(b, "e.txt"));
  EXPECT_FALSE(b->Deleted());
}

TEST_P(OperationsOnServer, CreatesMissingParentsAndCountsAnExistingFolderAsCreated) {
  server_->MakeFolder("x");
  server_->WriteFile("file.txt", "f");
  Connect();
  List(location_ + "\\x");
  const auto before = Date::Now();
  const auto wanted = NewHostFolder();
  wanted->Path(location_ + "\\x\\y\\z");
  wanted->Deleted(true);
  EXPECT_TRUE(session_.ftp.CreateFolder(wanted)) << session_.ftp.LastError();
  EXPECT_FALSE(wanted->Deleted());
  EXPECT_TRUE(fs::is_directory(server_->root() / "x/y/z"));
  const auto y = session_.ftp.GetFolder(location_ + "\\x\\y");  // from the cache
  ASSERT_TRUE(y);
  EXPECT_GE(y->DateModified(), Date(before.serial() - 1.0 / 86400));

  EXPECT_TRUE(session_.ftp.CreateFolder(wanted)) << "already there";

  // Below a file nothing can be made; the reason is the last refused creation.
  const auto impossible = NewHostFolder();
  impossible->Path(location_ + "\\file.txt\\sub");
  EXPECT_FALSE(session_.ftp.CreateFolder(impossible));
  EXPECT_NE(session_.ftp.LastError().find(" (5"), std::string::npos) << session_.ftp.LastError();
}

TEST_P(OperationsOnServer, DeletesAFileByItemOrByPath) {
  server_->WriteFile("a.txt", "a");
  server_->WriteFile("b.txt", "b");
  Connect();
  List(location_);
  const auto a = ItemNamed<HostFile>(files_, "a.txt");
  EXPECT_TRUE(session_.ftp.DeleteFile(a, location_ + "\\b.txt"));  // the path is ignored
  EXPECT_FALSE(OnDisk("a.txt"));
  EXPECT_TRUE(OnDisk("b.txt"));
  EXPECT_TRUE(a->Deleted());
  EXPECT_EQ(CachedNames(location_, false), Strings{"b.txt"});

  EXPECT_TRUE(session_.ftp.DeleteFile({}, location_ + "\\b.txt"));
  EXPECT_FALSE(OnDisk("b.txt"));
  EXPECT_EQ(CachedNames(location_, false), Strings{"b.txt"}) << "no item, no cache change";
  EXPECT_FALSE(session_.ftp.DeleteFile({}, location_ + "\\b.txt"));
}

INSTANTIATE_TEST_SUITE_P(Servers, OperationsOnServer, ::testing::ValuesIn(AllServerKinds()),
                         [](const auto& info) {
                           std::string name = ServerKindName(info.param);
                           std::erase(name, '-');
                           return name;
                         });

int CountVerb(const ScriptedServer& server, const std::string& verb) {
  const auto commands = server.Commands();
  return static_cast<int>(std::count_if(commands.begin(), commands.end(), [&](const auto& line) {
    return line == verb || line.rfind(verb + " ", 0) == 0;
  }));
}

TEST(TreeDeletion, AFolderThatCannotBeRemovedIsEmptiedOnceAndNavigationEntriesAreNeverEntered) {
  ScriptedServer server;
  server.On("RMD", ScriptedServer::Fixed("550 Permission denied"));
  // A listing that shows the folder itself and its parent, as some servers do.
  server.SetListing({
      "drwxr-xr-x   2 owner group     4096 Jan  5 10:00 .",
      "drwxr-xr-x   3 owner group     4096 Jan  5 10:00 ..",
      "-rw-r--r--   1 owner group       10 Jan  5 10:00 a.txt",
  });
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));
  const auto tree = NewHostFolder();
  tree->Init(location + "\\tree", "tree", Date(0), 0, false);

  EXPECT_FALSE(session.ftp.DeleteDirectory(tree));
  EXPECT_EQ(CountVerb(server, "RMD"), 2) << "once, then once more after emptying";
  EXPECT_EQ(CountVerb(server, "DELE"), 1);
  EXPECT_EQ(CountVerb(server, "LIST"), 1);
  EXPECT_EQ(session.ftp.LastError(), "550 Permission denied (550)");
  EXPECT_FALSE(tree->Deleted());
}

TEST(OperationsOnNavigationEntries, DotAndDotDotAreNeverDeletedNorRenamed) {
  // With the navigation switch off a listing hands out "." and ".."; deleting
  // ".." would empty the parent, "." the folder itself. Nothing may be sent.
  ScriptedServer server;
  server.SetListing({
      "drwxr-xr-x   2 owner group     4096 Jan  5 10:00 .",
      "drwxr-xr-x   3 owner group     4096 Jan  5 10:00 ..",
      "-rw-r--r--   1 owner group       10 Jan  5 10:00 a.txt",
  });
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port(), "/pub");
  ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));
  com::ComPtr<script::Collection> files, folders;
  ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders));
  const auto dot = ItemNamed<HostFolder>(folders, ".");
  const auto dot_dot = ItemNamed<HostFolder>(folders, "..");
  const auto file = ItemNamed<HostFile>(files, "a.txt");
  ASSERT_TRUE(dot && dot_dot && file);
  const std::size_t commands_before = server.Commands().size();

  struct Case {
    const char* name;
    std::function<bool()> call;
  } cases[] = {
      {"delete ..", [&] { return session.ftp.DeleteDirectory(dot_dot); }},
      {"delete .", [&] { return session.ftp.DeleteDirectory(dot); }},
      {"delete the file at ..", [&] { return session.ftp.DeleteFile(nullptr, location + "\\.."); }},
      {"delete through ..", [&] { return session.ftp.DeleteFile(nullptr, location + "\\..\\a.txt"); }},
      {"rename ..", [&] { return session.ftp.RenameFolder(dot_dot, "renamed"); }},
      {"rename .", [&] { return session.ftp.RenameFolder(nullptr, "renamed", location + "\\."); }},
      {"rename onto ..", [&] { return session.ftp.RenameFile(file, ".."); }},
      {"rename onto .", [&] { return session.ftp.RenameFile(nullptr, ".", location + "\\a.txt"); }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_FALSE(test.call());
    EXPECT_NE(session.ftp.LastError().find("never deleted or renamed (123)"), std::string::npos)
        << session.ftp.LastError();
  }
  EXPECT_EQ(server.Commands().size(), commands_before) << "nothing was sent";
  EXPECT_FALSE(dot->Deleted());
  EXPECT_FALSE(dot_dot->Deleted());
  EXPECT_FALSE(file->Deleted());
  // A name that merely starts with dots is an ordinary name.
  EXPECT_TRUE(session.ftp.DeleteFile(nullptr, location + "\\...")) << session.ftp.LastError();
}

}  // namespace
}  // namespace orvex::ftp_testing
