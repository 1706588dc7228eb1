// File contents through the stream members, against real servers.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "tests/connection/plugin_fixture.h"

namespace orvex {
namespace {

using testing::ServerKind;
using testing_support::Marked;
using testing_support::PluginFixture;

std::string ReadLocal(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

class FileStreamsTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(GetParam());
    fixture_.emplace(GetParam());
    ASSERT_TRUE(f().plugin().iPC_Connect(0)) << f().plugin().iPC_Properties()->LastError();
  }
  PluginFixture& f() { return *fixture_; }
  std::filesystem::path OnServer(const std::string& relative) { return f().server().root() / relative; }
  std::optional<PluginFixture> fixture_;
};

TEST_P(FileStreamsTest, UploadsThroughTheTemporaryNameAndDownloadsTheSameBytes) {
  const std::string content = RandomBytes(300'000, 1);
  f().server().WriteFile("data/blob.bin", "old content");
  ASSERT_TRUE(f().Upload("data/blob.bin", content, 65536)) << f().plugin().iPC_Properties()->LastError();
  EXPECT_EQ(ReadLocal(OnServer("data/blob.bin")), content);
  EXPECT_FALSE(std::filesystem::exists(OnServer("data/blob.bin.ovt")));
  auto stream_file = f().last_stream()->File();
  EXPECT_FALSE(stream_file->Deleted());
  EXPECT_NEAR(stream_file->DateModified().serial(), Date::Now().serial(), 60.0 / 86400);

  auto downloaded = f().Download("data/blob.bin", 40'000);
  ASSERT_TRUE(downloaded) << f().plugin().iPC_Properties()->LastError();
  EXPECT_EQ(*downloaded, content);
  EXPECT_TRUE(f().LogLines().empty());
}

TEST_P(FileStreamsTest, UploadsStraightOntoTheTargetWithoutTheTemporaryName) {
  f().connection().UseTempCopy(false);
  ASSERT_TRUE(f().Upload("direct.bin", "direct bytes"));
  EXPECT_EQ(ReadLocal(OnServer("direct.bin")), "direct bytes");
}

TEST_P(FileStreamsTest, AsciiFilesConvertLineEndsOnTheWire) {
  f().connection().EnableAscii(true);
  const std::string text = "line one\nline two\n";
  ASSERT_TRUE(f().Upload("notes.TXT", text));
  // Binary for files whose extension is not listed.
  ASSERT_TRUE(f().Upload("notes.dat", text));
  EXPECT_EQ(ReadLocal(OnServer("notes.dat")), text);
  // The wire carried CRLF: pyftpdlib stores its own line ends, vsftpd (by
  // default) stores what arrived.
  const bool server_converts = GetParam() == ServerKind::Pyftpdlib;
  EXPECT_EQ(ReadLocal(OnServer("notes.TXT")), server_converts ? text : "line one\r\nline two\r\n");
  if (server_converts) {
    auto back = f().Download("notes.TXT");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, text);
  }
}

TEST_P(FileStreamsTest, DiscardedUploadLeavesNoTemporaryFileAndTheTargetUntouched) {
  f().server().WriteFile("keep.txt", "precious");
  ASSERT_TRUE(f().Upload("keep.txt", "half a new vers", 4, HostFileStream::kStatusAbandoned));
  EXPECT_EQ(ReadLocal(OnServer("keep.txt")), "precious");
  EXPECT_FALSE(std::filesystem::exists(OnServer("keep.txt.ovt")));
  EXPECT_TRUE(f().last_stream()->File()->Deleted());
}

INSTANTIATE_TEST_SUITE_P(Servers, FileStreamsTest, ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         ::orvex::testing::NameTestsByServer());

class FileStreamFailuresTest : public FileStreamsTest {};

TEST_P(FileStreamFailuresTest, ShortReadsSeeksAndOversizedCountsAreReportedInWords) {
  f().server().WriteFile("short.txt", "12345");
  auto file = f().plugin().iPC_GetFile(f().path("short.txt"));
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessRead);
  ASSERT_TRUE(f().plugin().iPC_OpenFile(stream));

  std::vector<std::uint8_t> small(4);
  stream->Count(10);
  EXPECT_FALSE(f().plugin().iPC_ReadFile(stream, small)) << "a count beyond the buffer is refused";
  std::vector<std::uint8_t> buffer(10);
  EXPECT_FALSE(f().plugin().iPC_ReadFile(stream, buffer)) << "only 5 bytes remain";
  EXPECT_FALSE(f().plugin().iPC_SeekFile(stream, 2.5));
  EXPECT_TRUE(f().plugin().iPC_CloseFile(stream));

  auto lines = f().LogLines();
  ASSERT_EQ(lines.size(), 3u);
  const std::string path = f().path("short.txt");
  EXPECT_EQ(lines[0], "FTP(7) ReadFile: " + Marked("Error reading from file '" + path + "': " +
                                                   Marked("The buffer holds fewer bytes than the count to read.")));
  EXPECT_EQ(lines[1], "FTP(7) ReadFile: " + Marked("Error reading from file '" + path + "': " +
                                                   Marked("Number of bytes not matching.")));
  EXPECT_EQ(lines[2], "FTP(7) SeekFile: " + Marked("Error seeking file '" + path + "' at 2.5: " +
                                                   Marked("Feature not supported")));
  EXPECT_EQ(f().plugin().iPC_Properties()->LastError(), lines[2].substr(7));
}

TEST_P(FileStreamFailuresTest, OpeningAMissingFileReportsTheServersReason) {
  auto file = NewHostFile();
  file->Init(f().path("absent.bin"), "absent.bin", 0, Date(0), 0, false);
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessRead);
  EXPECT_FALSE(f().plugin().iPC_OpenFile(stream));
  EXPECT_EQ(stream->Handle(), 0);
  auto lines = f().LogLines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string prefix = "FTP(7) OpenFile: \xC2\xAB" "Error opening file '" + f().path("absent.bin") + "': ";
  EXPECT_EQ(lines[0].rfind(prefix, 0), 0u) << lines[0];
}

TEST_P(FileStreamFailuresTest, AFailedRenameAtCloseKeepsTheNewContentUnderItsTemporaryName) {
  // A folder with the target's name: the server cannot rename the upload
  // onto it, and there is no old file to replace.
  f().server().MakeFolder("report.txt/inside");
  ASSERT_FALSE(f().Upload("report.txt", "the only copy of the new content"));
  EXPECT_EQ(ReadLocal(OnServer("report.txt.ovt")), "the only copy of the new content");
  auto lines = f().LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("FTP(7) CloseFile: "), std::string::npos);
  EXPECT_NE(lines[0].find("The new content stays on the server as '" + f().path("report.txt") + ".ovt'"), std::string::npos)
      << lines[0];
}

INSTANTIATE_TEST_SUITE_P(Servers, FileStreamFailuresTest, ::testing::Values(ServerKind::Pyftpdlib),
                         ::orvex::testing::NameTestsByServer());

}  // namespace
}  // namespace orvex

namespace orvex {
namespace {

struct TreeCase {
  ServerKind kind;
  bool ascii;
};

class TreeCopyTest : public ::testing::TestWithParam<TreeCase> {};

// Copies a local tree up and back down through iPC alone, the way a
// synchronising host does, and compares every byte.
TEST_P(TreeCopyTest, AWholeTreeGoesUpAndComesBackIdentical) {
  ORVEX_REQUIRE_SERVER(GetParam().kind);
  PluginFixture f(GetParam().kind);
  f.connection().EnableAscii(GetParam().ascii);
  ASSERT_TRUE(f.plugin().iPC_Connect(0));

  std::map<std::string, std::string> tree = {
      {"readme.txt", "first line\nsecond line\n"},
      {"bin/random.dat", RandomBytes(200'000, 7)},
      {"bin/empty.bin", ""},
      {"docs/Grüße und Ärger/notes.txt", "ümlauts\nand more\n"},
      {"docs/Grüße und Ärger/deeper still/with space.bin", RandomBytes(70'000, 8)},
      {"docs/crlf-in-binary.bin", "a\r\nb\r\n"},
  };
  std::set<std::string> folders;
  for (const auto& [relative, content] : tree) {
    for (auto parent = std::filesystem::path(relative).parent_path(); !parent.empty(); parent = parent.parent_path()) {
      folders.insert(parent.string());
    }
  }
  for (const auto& folder : folders) ASSERT_TRUE(f.plugin().iPC_CreateFolder(f.path(folder))) << folder;
  for (const auto& [relative, content] : tree) ASSERT_TRUE(f.Upload(relative, content, 65536)) << relative;

  // Walk the remote tree through the listings and download what it holds.
  std::map<std::string, std::string> copied;
  std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& path, const std::string& prefix) {
    auto files = f.plugin().iPC_GetFiles(path);
    auto subfolders = f.plugin().iPC_GetFolders(path);
    ASSERT_TRUE(files && subfolders);
    for (std::int32_t i = 1; i <= files->Count(); ++i) {
      auto file = files->Item(i).AsInterface<HostFile>();
      auto content = f.Download(prefix + file->Name());
      ASSERT_TRUE(content) << file->Path() << ": " << f.plugin().iPC_Properties()->LastError();
      copied[prefix + file->Name()] = *content;
    }
    for (std::int32_t i = 1; i <= subfolders->Count(); ++i) {
      auto folder = subfolders->Item(i).AsInterface<HostFolder>();
      walk(folder->Path(), prefix + folder->Name() + "/");
    }
  };
  walk(f.location(), "");
  EXPECT_EQ(copied, tree);
  EXPECT_TRUE(f.LogLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Servers, TreeCopyTest,
                         ::testing::Values(TreeCase{ServerKind::Pyftpdlib, true}, TreeCase{ServerKind::Vsftpd, false},
                                           TreeCase{ServerKind::PureFtpd, false}, TreeCase{ServerKind::Proftpd, true}),
                         [](const auto& test) {
                           return ::orvex::testing::ServerTestName(test.param.kind) +
                                  (test.param.ascii ? "_ascii" : "_binary");
                         });

}  // namespace
}  // namespace orvex
