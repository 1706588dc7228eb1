// ASCII transfers through the whole engine, fed by a server in memory: the
// wire form arrives in pieces of every size and the caller reads with
// buffers of every size (downloads), or writes in pieces of every size
// (uploads). A CR LF split by either boundary is still one line end; a lone
// CR or a lone LF is kept. Binary transfers change no byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/inet/support/fake_session.h"

namespace orvex::testing {
namespace {

using inet::FileTransfer;
using inet::TransferDirection;
using inet::TransferType;

struct Conversion {
  TransferType type;
  std::string wire;
  std::string local;
};

const Conversion kDownloads[] = {
    {TransferType::Ascii, "a\r\nb\r\n", "a\nb\n"},
    {TransferType::Ascii, "\r\n\r\n", "\n\n"},
    {TransferType::Ascii, "lone\rcr", "lone\rcr"},
    {TransferType::Ascii, "ends in cr\r", "ends in cr\r"},
    {TransferType::Ascii, "\r", "\r"},
    {TransferType::Ascii, "\r\r\n", "\r\n"},
    {TransferType::Ascii, "\r\r\r", "\r\r\r"},
    {TransferType::Ascii, "lone\nlf", "lone\nlf"},
    {TransferType::Ascii, "\n\r\n\r", "\n\n\r"},
    {TransferType::Ascii, "x\r\ry\r\n\rz", "x\r\ry\n\rz"},
    {TransferType::Ascii, "", ""},
    {TransferType::Binary, "a\r\nb\r\r\n\n", "a\r\nb\r\r\n\n"},
};

const Conversion kUploads[] = {
    {TransferType::Ascii, "a\r\nb\r\n", "a\nb\n"},
    {TransferType::Ascii, "a\r\nb", "a\r\nb"},  // a CR LF already there is not doubled
    {TransferType::Ascii, "\r\n\r\n", "\n\n"},
    {TransferType::Ascii, "lone\rcr", "lone\rcr"},
    {TransferType::Ascii, "ends in cr\r", "ends in cr\r"},
    {TransferType::Ascii, "\r\r\n", "\r\r\n"},
    {TransferType::Ascii, "\r\n\r\n", "\n\r\n"},
    {TransferType::Ascii, "", ""},
    {TransferType::Binary, "a\nb\r\n\r", "a\nb\r\n\r"},
};

TEST(LineEndTransfers, DownloadsConvertHoweverWireAndBufferAreCut) {
  for (const Conversion& test : kDownloads) {
    for (std::size_t piece = 1; piece <= test.wire.size() + 1; ++piece) {
      for (std::size_t buffer_size = 1; buffer_size <= test.wire.size() + 2; ++buffer_size) {
        SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(test.wire) << ", pieces of "
                                          << piece << ", buffer of " << buffer_size);
        FakeSession session;
        TransferScript script;
        script.data = Delivery{test.wire, piece, {}, StreamEnd::Close};
        session.network->OnTransfer("RETR", script);
        ASSERT_TRUE(session.Open().ok());
        std::unique_ptr<FileTransfer> transfer;
        ASSERT_TRUE(session.connection
                        ->OpenFile("/file.txt", TransferDirection::Download, test.type, transfer)
                        .ok());
        std::string local;
        std::vector<char> buffer(buffer_size);
        for (std::size_t reads = 0; reads <= test.wire.size() + 2; ++reads) {
          std::size_t read = 0;
          ASSERT_TRUE(transfer->Read(buffer.data(), buffer.size(), read).ok());
          local.append(buffer.data(), read);
          if (read < buffer.size()) break;  // only the end gives less than asked for
        }
        std::size_t after_end = 1;
        EXPECT_TRUE(transfer->Read(buffer.data(), buffer.size(), after_end).ok());
        EXPECT_EQ(after_end, 0u);
        EXPECT_TRUE(transfer->Close().ok());
        EXPECT_EQ(local, test.local);
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

TEST(LineEndTransfers, UploadsConvertHoweverTheCallerWrites) {
  for (const Conversion& test : kUploads) {
    for (std::size_t piece = 1; piece <= test.local.size() + 1; ++piece) {
      SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(test.local)
                                        << ", written in pieces of " << piece);
      FakeSession session;
      ASSERT_TRUE(session.Open().ok());
      std::unique_ptr<FileTransfer> transfer;
      ASSERT_TRUE(
          session.connection->OpenFile("/file.txt", TransferDirection::Upload, test.type, transfer)
              .ok());
      for (std::size_t at = 0; at < test.local.size(); at += piece) {
        const std::size_t size = std::min(piece, test.local.size() - at);
        std::size_t written = 0;
        ASSERT_TRUE(transfer->Write(test.local.data() + at, size, written).ok());
        EXPECT_EQ(written, size);
      }
      EXPECT_TRUE(transfer->Close().ok());
      ASSERT_EQ(session.network->uploads().size(), 1u);
      EXPECT_EQ(session.network->uploads().front(), test.wire);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace orvex::testing
