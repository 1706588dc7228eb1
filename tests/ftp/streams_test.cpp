// Streamed transfers: blocks in place, end of file, buffer checks.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/error.h"
#include "tests/ftp/session_fixture.h"
#include "tests/support/ftp_server.h"

namespace orvex::ftp_testing {
namespace {

using orvex::testing::FtpServer;
using orvex::testing::ServerKind;
using Bytes = std::vector<std::uint8_t>;

class Streams : public ::testing::Test {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
    server_ = std::make_unique<FtpServer>(ServerKind::Vsftpd);
    server_->MakeFolder("pub/docs");
    location_ = LocationOf(server_->host(), server_->port());
    ASSERT_TRUE(session_.ftp.Connect(location_, server_->user(), server_->password(), ""))
        << session_.ftp.LastError();
  }
  std::string OnDisk(const std::string& relative) {
    std::ifstream in(server_->root() / relative, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }

  std::unique_ptr<FtpServer> server_;
  TestSession session_;
  std::string location_;
};

TEST_F(Streams, BlocksGoUpAndComeBackUntouched) {
  Bytes content(10000);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7);
  content[100] = '\r';
  content[101] = '\n';
  const std::string path = location_ + "\\pub\\docs\\data.bin";  // "\" becomes "/"

  const auto upload = session_.ftp.OpenFileStream(path, wininet::GENERIC_WRITE, 0);
  ASSERT_NE(upload, 0u) << session_.ftp.LastError();
  std::uint32_t written = 99;
  EXPECT_TRUE(session_.ftp.WriteFileStream(upload, content, 0, written));  // zero count
  EXPECT_EQ(written, 0u);
  constexpr std::uint32_t kBlock = 4096;
  for (std::size_t offset = 0; offset < content.size(); offset += kBlock) {
    const std::size_t end = std::min(content.size(), offset + kBlock);
    const Bytes block(content.begin() + static_cast<std::ptrdiff_t>(offset),
                      content.begin() + static_cast<std::ptrdiff_t>(end));
    ASSERT_TRUE(session_.ftp.WriteFileStream(upload, block, static_cast<std::uint32_t>(block.size()), written));
    EXPECT_EQ(written, block.size());
  }
  ASSERT_TRUE(session_.ftp.CloseFileStream(upload)) << session_.ftp.LastError();
  EXPECT_EQ(OnDisk("pub/docs/data.bin"), std::string(content.begin(), content.end()));

  const auto download = session_.ftp.OpenFileStream(path, wininet::GENERIC_READ, 0);
  ASSERT_NE(download, 0u) << session_.ftp.LastError();
  Bytes buffer(kBlock), received;
  std::uint32_t read = 0;
  do {
    ASSERT_TRUE(session_.ftp.ReadFileStream(download, buffer, kBlock, read));
    received.insert(received.end(), buffer.begin(), buffer.begin() + read);
  } while (read != 0);
  EXPECT_EQ(received, content);
  EXPECT_TRUE(session_.ftp.ReadFileStream(download, buffer, kBlock, read));  // still the end
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(session_.ftp.CloseFileStream(download));
  EXPECT_FALSE(session_.ftp.CloseFileStream(download)) << "closed already";
  EXPECT_NE(session_.ftp.LastError().find(" (6)"), std::string::npos) << session_.ftp.LastError();
}

TEST_F(Streams, ABufferSmallerThanTheCountMovesNothing) {
  server_->WriteFile("pub/a.txt", "0123456789");
  const auto download = session_.ftp.OpenFileStream(location_ + "/pub/a.txt", wininet::GENERIC_READ, 0);
  ASSERT_NE(download, 0u) << session_.ftp.LastError();
  Bytes small(4, 'x');
  std::uint32_t read = 77;
  EXPECT_FALSE(session_.ftp.ReadFileStream(download, small, 10, read));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(small, Bytes(4, 'x'));
  EXPECT_NE(session_.ftp.LastError().find("fewer than the 10"), std::string::npos)
      << session_.ftp.LastError();
  // Nothing was consumed: the next read starts at the first byte.
  ASSERT_TRUE(session_.ftp.ReadFileStream(download, small, 4, read));
  EXPECT_EQ(std::string(small.begin(), small.end()), "0123");
  Bytes empty;
  EXPECT_THROW(
      {
        try {
          session_.ftp.ReadFileStream(download, empty, 0, read);
        } catch (const Error& error) {
          EXPECT_EQ(error.number(), error_number::kSubscriptOutOfRange);
          throw;
        }
      },
      Error);
  EXPECT_TRUE(session_.ftp.CloseFileStream(download));

  const auto upload = session_.ftp.OpenFileStream(location_ + "/pub/b.txt", wininet::GENERIC_WRITE, 0);
  ASSERT_NE(upload, 0u) << session_.ftp.LastError();
  std::uint32_t written = 77;
  EXPECT_FALSE(session_.ftp.WriteFileStream(upload, Bytes(3, 'y'), 8, written));
  EXPECT_EQ(written, 0u);
  EXPECT_THROW(session_.ftp.WriteFileStream(upload, Bytes{}, 0, written), Error);
  ASSERT_TRUE(session_.ftp.WriteFileStream(upload, Bytes(3, 'y'), 3, written));
  EXPECT_TRUE(session_.ftp.CloseFileStream(upload));
  EXPECT_EQ(OnDisk("pub/b.txt"), "yyy");
}

TEST_F(Streams, OpeningAMissingFileGivesZeroAndTheReply) {
  EXPECT_EQ(session_.ftp.OpenFileStream(location_ + "\\pub\\missing", wininet::GENERIC_READ, 0), 0u);
  EXPECT_NE(session_.ftp.LastError().find(" (550)"), std::string::npos) << session_.ftp.LastError();
  // The session is still usable.
  com::ComPtr<script::Collection> files, folders;
  EXPECT_TRUE(session_.ftp.ListDirectory(location_ + "\\pub", files, folders));
}

}  // namespace
}  // namespace orvex::ftp_testing
