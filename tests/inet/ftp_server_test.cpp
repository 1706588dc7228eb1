// The API against real FTP servers on loopback: the same behaviour is expected
// from every server, whether it lists with MLSD (pyftpdlib, pure-ftpd,
// proftpd) or with LIST only (vsftpd).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <sstream>

#include "tests/inet/client_fixture.h"
#include "tests/support/ftp_server.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::FtpServer;
using ::orvex::testing::ServerKind;

std::string ReadLocal(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class RealServer : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(GetParam());
    server_ = std::make_unique<FtpServer>(GetParam());
    ASSERT_TRUE(Login(client_)) << client_.error() << " " << LastResponse();
  }

  bool Login(Client& client, bool passive = true) {
    return client.Connect(server_->host(), server_->port(), server_->user(),
                          server_->password(), passive);
  }

  std::filesystem::path Local(const std::string& relative) const {
    return server_->root() / relative;
  }

  std::unique_ptr<FtpServer> server_;
  Client client_;
};

// Names a sync host meets in real folders and that naive LIST parsing breaks.
TEST_P(RealServer, ListsNamesTypesAndSizesAlike) {
  const std::string names[] = {
      "plain.txt",        "with space.txt", "two  spaces", "-leading-dash",
      "a -> b.txt",       "Grüße ñ 日本.txt", "trailing space ",
  };
  for (std::size_t index = 0; index < std::size(names); ++index) {
    server_->WriteFile(names[index], std::string(index * 7 + 1, 'x'));
  }
  server_->MakeFolder("folder with space");
  server_->MakeFolder("sub");
  server_->WriteFile("sub/inner.bin", "12345");
  // A sparse file beyond 32 bits: sizes must not be cut to the low half.
  {
    std::ofstream(Local("big.iso")).close();
    std::filesystem::resize_file(Local("big.iso"), 3ull << 30);
    server_->AdoptFiles();
  }
  std::vector<Listed> expected;
  for (std::size_t index = 0; index < std::size(names); ++index) {
    expected.push_back({names[index], false, index * 7 + 1, 0, {}});
  }
  expected.push_back({"big.iso", false, 3ull << 30, 0, {}});
  expected.push_back({"folder with space", true, 0, 0, {}});
  expected.push_back({"sub", true, 0, 0, {}});
  std::sort(expected.begin(), expected.end(),
            [](const Listed& a, const Listed& b) { return a.name < b.name; });

  std::vector<Listed> listed = ListFolder(client_.connection(), "/");
  // Some servers list "." and ".."; they are passed on as folders.
  std::erase_if(listed, [](const Listed& entry) {
    EXPECT_TRUE((entry.name != "." && entry.name != "..") || entry.folder);
    return entry.name == "." || entry.name == "..";
  });
  EXPECT_EQ(listed, expected);
  for (const Listed& entry : listed) {
    SYSTEMTIME time;
    ASSERT_TRUE(FileTimeToSystemTime(&entry.written, &time));
    EXPECT_GE(time.wYear, 2020) << entry.name;  // a real date, not empty
  }

  EXPECT_EQ(ListFolder(client_.connection(), "/sub"),
            (std::vector<Listed>{{"inner.bin", false, 5, 0, {}}}));
  server_->MakeFolder("empty");
  EXPECT_TRUE(ListFolder(client_.connection(), "/empty").empty());
}

TEST_P(RealServer, BinaryTransfersKeepEveryByte) {
  const std::string content = RandomBytes(50 * 1024 * 1024 + 123, 7);
  ASSERT_TRUE(Upload(client_.connection(), "/blob.bin", FTP_TRANSFER_TYPE_BINARY, content))
      << GetLastError() << " " << LastResponse();
  EXPECT_TRUE(ReadLocal(Local("blob.bin")) == content) << "upload changed bytes";
  std::string downloaded;
  ASSERT_TRUE(Download(client_.connection(), "/blob.bin", FTP_TRANSFER_TYPE_UNKNOWN,
                       downloaded))
      << GetLastError() << " " << LastResponse();
  EXPECT_TRUE(downloaded == content) << "download changed bytes";

  // Odd block sizes and an empty file.
  ASSERT_TRUE(Download(client_.connection(), "/blob.bin", FTP_TRANSFER_TYPE_BINARY,
                       downloaded, 4099));
  EXPECT_TRUE(downloaded == content);
  ASSERT_TRUE(Upload(client_.connection(), "/empty.bin", FTP_TRANSFER_TYPE_BINARY, ""));
  ASSERT_TRUE(Download(client_.connection(), "/empty.bin", FTP_TRANSFER_TYPE_BINARY,
                       downloaded));
  EXPECT_EQ(downloaded, "");
}

TEST_P(RealServer, AsciiRoundTripGivesLocalLineEnds) {
  const std::string text = "first\nsecond\n\nlast line without end";
  ASSERT_TRUE(Upload(client_.connection(), "/notes.txt", FTP_TRANSFER_TYPE_ASCII, text, 5));
  std::string downloaded;
  ASSERT_TRUE(Download(client_.connection(), "/notes.txt", FTP_TRANSFER_TYPE_ASCII,
                       downloaded, 3));
  EXPECT_EQ(downloaded, text);
}

TEST_P(RealServer, OneTransferAtATimeAndEarlyCloseKeepsTheConnection) {
  server_->WriteFile("large.bin", RandomBytes(8 * 1024 * 1024, 3));
  server_->WriteFile("small.txt", "hello");
  const HINTERNET first =
      FtpOpenFileA(client_.connection(), "/large.bin", GENERIC_READ, 0, 0);
  ASSERT_NE(first, 0u) << GetLastError() << " " << LastResponse();
  EXPECT_EQ(FtpOpenFileA(client_.connection(), "/small.txt", GENERIC_READ, 0, 0), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
  EXPECT_FALSE(FtpSetCurrentDirectoryA(client_.connection(), "/"));
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);

  char block[1000];
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(first, block, sizeof block, &read));
  EXPECT_EQ(read, sizeof block);
  EXPECT_TRUE(InternetCloseHandle(first));  // aborts the rest

  // The control connection is in step: the next replies belong to the next
  // commands.
  std::string content;
  ASSERT_TRUE(Download(client_.connection(), "/small.txt", 0, content))
      << GetLastError() << " " << LastResponse();
  EXPECT_EQ(content, "hello");
  char directory[260];
  DWORD length = sizeof directory;
  ASSERT_TRUE(FtpGetCurrentDirectoryA(client_.connection(), directory, &length));
  EXPECT_EQ(std::string(directory, length), "/");
}

// A caller that stops a listing handed on while it arrives, with most of it
// still to come. What follows on that connection is either refused (the
// connection was given up) or exact: the next listing names each entry once
// and the next download gets its own bytes. pure-ftpd sends the unsent rest
// of a listing cut short inside the next listing on the same connection.
TEST_P(RealServer, AListingStoppedMidwayNeverSpoilsWhatFollows) {
  constexpr int kEntries = 20000;
  for (int index = 0; index < kEntries; ++index) server_->WriteFile("many/f" + std::to_string(index), "");
  server_->WriteFile("small.txt", "hello");
  struct Names {
    int stop_at = -1;
    std::vector<std::string> seen;
  };
  const FTP_LISTING_CALLBACK take = [](const WIN32_FIND_DATAA* entry, void* context) -> BOOL {
    auto& names = *static_cast<Names*>(context);
    names.seen.emplace_back(entry->cFileName);
    return static_cast<int>(names.seen.size()) == names.stop_at ? win32::kFalse : win32::kTrue;
  };
  for (const int stop_at : {1, 700, 5000}) {
    SCOPED_TRACE(stop_at);
    ASSERT_TRUE(FtpSetCurrentDirectoryA(client_.connection(), "/many")) << LastResponse();
    Names stopped{stop_at, {}};
    EXPECT_FALSE(FtpListFilesA(client_.connection(), nullptr, take, &stopped));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_EQ(stopped.seen.size(), static_cast<std::size_t>(stop_at));

    if (!FtpSetCurrentDirectoryA(client_.connection(), "/many")) {
      ASSERT_EQ(GetLastError(), ERROR_FTP_DROPPED);
      client_.Close();
      ASSERT_TRUE(Login(client_)) << client_.error();
      ASSERT_TRUE(FtpSetCurrentDirectoryA(client_.connection(), "/many")) << LastResponse();
    }
    Names whole;
    ASSERT_TRUE(FtpListFilesA(client_.connection(), nullptr, take, &whole)) << GetLastError() << " " << LastResponse();
    std::sort(whole.seen.begin(), whole.seen.end());
    EXPECT_EQ(whole.seen.size(), static_cast<std::size_t>(kEntries));
    EXPECT_EQ(std::adjacent_find(whole.seen.begin(), whole.seen.end()), whole.seen.end()) << "a name listed twice";
    std::string content;
    ASSERT_TRUE(Download(client_.connection(), "/small.txt", 0, content)) << GetLastError() << " " << LastResponse();
    EXPECT_EQ(content, "hello");
  }
}

TEST_P(RealServer, FolderAndFileOperationsAndTheirRefusals) {
  const HINTERNET connection = client_.connection();
  ASSERT_TRUE(FtpCreateDirectoryA(connection, "/made")) << LastResponse();
  ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "/made"));
  char directory[260];
  DWORD length = sizeof directory;
  ASSERT_TRUE(FtpGetCurrentDirectoryA(connection, directory, &length));
  EXPECT_EQ(std::string(directory, length), "/made");
  length = 3;
  EXPECT_FALSE(FtpGetCurrentDirectoryA(connection, directory, &length));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 6u);

  ASSERT_TRUE(Upload(connection, "/made/a.txt", 0, "abc"));
  ASSERT_TRUE(FtpRenameFileA(connection, "/made/a.txt", "/made/b.txt")) << LastResponse();
  EXPECT_TRUE(std::filesystem::exists(Local("made/b.txt")));

  // Refusals come back as 12003 with the server's reply.
  struct Refusal {
    const char* what;
    std::function<BOOL()> call;
  };
  const Refusal refusals[] = {
      {"remove a folder that is not empty", [&] { return FtpRemoveDirectoryA(connection, "/made"); }},
      {"enter a missing folder", [&] { return FtpSetCurrentDirectoryA(connection, "/missing"); }},
      {"delete a missing file", [&] { return FtpDeleteFileA(connection, "/made/none"); }},
      {"rename a missing file", [&] { return FtpRenameFileA(connection, "/none", "/x"); }},
  };
  for (const Refusal& refusal : refusals) {
    EXPECT_FALSE(refusal.call()) << refusal.what;
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR) << refusal.what;
    DWORD code = 0;
    const std::string reply = LastResponse(&code);
    EXPECT_GE(code, 400u) << refusal.what;
    EXPECT_EQ(reply.substr(0, 3), std::to_string(code)) << refusal.what;
  }
  EXPECT_EQ(FtpOpenFileA(connection, "/missing/file", GENERIC_WRITE, 0, 0), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_EQ(FtpOpenFileA(connection, "/missing-file", GENERIC_READ, 0, 0), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);

  ASSERT_TRUE(FtpDeleteFileA(connection, "/made/b.txt"));
  ASSERT_TRUE(FtpSetCurrentDirectoryA(connection, "/"));
  ASSERT_TRUE(FtpRemoveDirectoryA(connection, "/made"));
  EXPECT_FALSE(std::filesystem::exists(Local("made")));

  // A success after a failure reports no error code.
  DWORD code = 1;
  LastResponse(&code);
  EXPECT_EQ(code, 0u);
}

TEST_P(RealServer, ActiveModeListsAndTransfers) {
  Client active;
  ASSERT_TRUE(Login(active, /*passive=*/false)) << active.error() << " " << LastResponse();
  server_->WriteFile("dir/file.txt", "active data");
  EXPECT_EQ(ListFolder(active.connection(), "/dir"),
            (std::vector<Listed>{{"file.txt", false, 11, 0, {}}}));
  std::string content;
  ASSERT_TRUE(Download(active.connection(), "/dir/file.txt", 0, content))
      << GetLastError() << " " << LastResponse();
  EXPECT_EQ(content, "active data");
  ASSERT_TRUE(Upload(active.connection(), "/dir/up.bin", 0, RandomBytes(300000, 9)));
  EXPECT_TRUE(ReadLocal(Local("dir/up.bin")) == RandomBytes(300000, 9));
}

TEST_P(RealServer, LoginFormsAndRefusal) {
  Client refused;
  EXPECT_FALSE(refused.Connect(server_->host(), server_->port(), server_->user(),
                               "wrong-password"));
  EXPECT_EQ(refused.error(), ERROR_INTERNET_INCORRECT_PASSWORD);
  DWORD code = 0;
  LastResponse(&code);
  EXPECT_EQ(code, 530u);

  // "host:port" with no explicit port connects to that port.
  Client by_text;
  EXPECT_TRUE(by_text.Connect(server_->host() + ":" + std::to_string(server_->port()),
                              INTERNET_INVALID_PORT_NUMBER, server_->user(),
                              server_->password()))
      << by_text.error();
  // An explicit port wins over the one in the name.
  Client explicit_port;
  EXPECT_TRUE(explicit_port.Connect(server_->host() + ":1", server_->port(), server_->user(),
                                    server_->password()))
      << explicit_port.error();

  // Nothing listening: cannot connect.
  server_->Stop();
  Client nobody;
  EXPECT_FALSE(nobody.Connect(server_->host(), server_->port(), server_->user(),
                              server_->password()));
  EXPECT_EQ(nobody.error(), ERROR_INTERNET_CANNOT_CONNECT);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         ::testing::ValuesIn(::orvex::testing::AllServerKinds()),
                         ::orvex::testing::NameTestsByServer());

}  // namespace
}  // namespace orvex::wininet::testing
