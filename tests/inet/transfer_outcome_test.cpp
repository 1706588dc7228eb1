// How a download or an upload ends, fed by a server in memory: only the
// server's confirmation after a whole data connection makes a success. A
// refusal, a 4xx after part of the data, a reset, a missing final reply or a
// server closing the session each fail the transfer, whatever the size of
// the pieces the data came in.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/inet/support/fake_session.h"

namespace orvex::testing {
namespace {

using inet::FileTransfer;
using inet::Status;
using inet::TransferDirection;
using inet::TransferType;
using win32::ERROR_FTP_DROPPED;
using win32::ERROR_INTERNET_CONNECTION_ABORTED;
using win32::ERROR_INTERNET_CONNECTION_RESET;
using win32::ERROR_INTERNET_EXTENDED_ERROR;

const std::string kContent = "0123456789abcdefghijklmnopqrstuvwxyz\r\n";

struct OutcomeCase {
  const char* name;
  TransferScript script;
  std::uint32_t error;
  bool passive = true;
  const char* intruder = nullptr;  // active mode: connects before the server
};

TEST(TransferOutcomes, DownloadsSucceedOnlyWhenWholeAndConfirmed) {
  const std::string part = kContent.substr(0, 10);
  const OutcomeCase cases[] = {
      {"whole and confirmed", Transfer(kContent, "226 Transfer complete.\r\n"), 0},
      {"active mode", Transfer(kContent, "226 Transfer complete.\r\n"), 0, false},
      {"active mode, a stranger connects first", Transfer(kContent, "226 Transfer complete.\r\n"),
       0, false, "192.0.2.7"},
      {"refused", Refused("550 No such file.\r\n"), ERROR_INTERNET_EXTENDED_ERROR},
      {"4xx after part of the data", Transfer(part, "426 Connection closed; transfer aborted.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"4xx after all of the data", Transfer(kContent, "451 Local error in processing.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"data reset", Transfer(part, "", StreamEnd::Reset), ERROR_INTERNET_CONNECTION_RESET},
      {"no final reply, control closed", Transfer(kContent, "", StreamEnd::Close, StreamEnd::Close),
       ERROR_INTERNET_CONNECTION_ABORTED},
      {"server closing instead of confirming",
       Transfer(kContent, "421 Timeout.\r\n", StreamEnd::Close, StreamEnd::Close), ERROR_FTP_DROPPED},
  };
  for (const OutcomeCase& test : cases) {
    for (const std::size_t piece : PieceSizes(test.script.data.bytes.size())) {
      SCOPED_TRACE(::testing::Message() << test.name << ", pieces of " << piece);
      FakeSession session;
      TransferScript script = test.script;
      script.data.piece = piece;
      session.network->OnTransfer("RETR", script);
      if (test.intruder) session.network->IntruderBeforeServer(test.intruder);
      ASSERT_TRUE(session.Open(inet::Options(), test.passive).ok());
      std::unique_ptr<FileTransfer> transfer;
      Status status = session.connection->OpenFile("/file", TransferDirection::Download,
                                                   TransferType::Binary, transfer);
      std::string content;
      char buffer[7];
      for (std::size_t read = sizeof buffer; status.ok() && read == sizeof buffer;) {
        status = transfer->Read(buffer, sizeof buffer, read);
        content.append(buffer, read);
      }
      if (transfer) transfer->Close();
      EXPECT_EQ(status.error(), test.error);
      if (test.error == 0) {
        EXPECT_EQ(content, kContent);
      }
      EXPECT_TRUE(session.InStepOrDropped());
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(TransferOutcomes, UploadsSucceedOnlyWhenConfirmed) {
  const OutcomeCase cases[] = {
      {"confirmed", Transfer("", "226 Transfer complete.\r\n"), 0},
      {"active mode, a stranger connects first", Transfer("", "226 Transfer complete.\r\n"), 0,
       false, "192.0.2.7"},
      {"refused", Refused("553 Not allowed.\r\n"), ERROR_INTERNET_EXTENDED_ERROR},
      {"refused after the data", Transfer("", "552 Disk quota exceeded.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"no final reply, control closed", Transfer("", "", StreamEnd::Close, StreamEnd::Close),
       ERROR_INTERNET_CONNECTION_ABORTED},
      {"server closing instead of confirming",
       Transfer("", "421 Timeout.\r\n", StreamEnd::Close, StreamEnd::Close), ERROR_FTP_DROPPED},
  };
  for (const OutcomeCase& test : cases) {
    SCOPED_TRACE(test.name);
    FakeSession session;
    session.network->OnTransfer("STOR", test.script);
    if (test.intruder) session.network->IntruderBeforeServer(test.intruder);
    ASSERT_TRUE(session.Open(inet::Options(), test.passive).ok());
    std::unique_ptr<FileTransfer> transfer;
    Status status = session.connection->OpenFile("/file", TransferDirection::Upload,
                                                 TransferType::Binary, transfer);
    std::size_t written = 0;
    if (status.ok()) status = transfer->Write(kContent.data(), kContent.size(), written);
    if (status.ok()) status = transfer->Close();
    EXPECT_EQ(status.error(), test.error);
    if (test.error == 0) {
      const std::vector<std::string> uploads = session.network->uploads();
      EXPECT_EQ(std::count(uploads.begin(), uploads.end(), kContent), 1);
    }
    EXPECT_TRUE(session.InStepOrDropped());
  }
}

}  // namespace
}  // namespace orvex::testing
