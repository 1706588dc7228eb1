// The engine's time limits on a clock of the test's own: a server that
// stalls or trickles fails the operation with ERROR_INTERNET_TIMEOUT once the
// limit that applies has passed (and not before), in no real time at all;
// one that is slow but keeps moving is not cut off.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/inet/support/fake_session.h"

namespace orvex::testing {
namespace {

using inet::FileTransfer;
using inet::Status;
using inet::TransferDirection;
using inet::TransferType;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

constexpr milliseconds kReplyLimit = 10s;
constexpr milliseconds kDataLimit = 20s;

enum class Operation { ChangeDirectory, List, Download, Upload };

Status Perform(Operation operation, inet::FtpConnection& connection) {
  switch (operation) {
    case Operation::ChangeDirectory: return connection.ChangeDirectory("/folder");
    case Operation::List: {
      inet::RemoteEntries entries;
      return connection.List("/folder", entries);
    }
    case Operation::Download: {
      std::unique_ptr<FileTransfer> transfer;
      Status status = connection.OpenFile("/file", TransferDirection::Download,
                                          TransferType::Binary, transfer);
      char buffer[4096];
      for (std::size_t read = sizeof buffer; status.ok() && read == sizeof buffer;) {
        status = transfer->Read(buffer, sizeof buffer, read);
      }
      if (transfer) transfer->Close();
      return status;
    }
    case Operation::Upload: {
      std::unique_ptr<FileTransfer> transfer;
      Status status = connection.OpenFile("/file", TransferDirection::Upload,
                                          TransferType::Binary, transfer);
      std::size_t written = 0;
      if (status.ok()) status = transfer->Write("data", 4, written);
      if (status.ok()) status = transfer->Close();
      return status;
    }
  }
  return Status(win32::ERROR_INVALID_PARAMETER);
}

TransferScript Data(std::string bytes, std::size_t piece, milliseconds pause, StreamEnd end,
                    std::string final_reply = "226 Transfer complete.\r\n") {
  TransferScript script;
  script.data = Delivery{std::move(bytes), piece, pause, end};
  script.final_reply = std::move(final_reply);
  return script;
}

std::string MachineListing(std::size_t entries) {
  std::string text;
  for (std::size_t index = 0; index < entries; ++index) {
    text += "type=file;size=1;modify=20260103100000; file" + std::to_string(1000 + index) + "\r\n";
  }
  return text;
}

struct LimitCase {
  const char* name;
  Operation operation;
  std::function<void(FakeNetwork&)> script;  // once logged in
  std::uint32_t error;
  milliseconds at_least;  // test time the operation took
  milliseconds at_most;
  bool passive = true;
};

TEST(TimeLimits, StallsFailAfterTheirLimitAndSlowProgressDoesNot) {
  const LimitCase cases[] = {
      {"reply never comes", Operation::ChangeDirectory,
       [](FakeNetwork& server) { server.On("CWD", ""); }, win32::ERROR_INTERNET_TIMEOUT,
       kReplyLimit, kReplyLimit},
      {"multi-line reply trickles, each line in time", Operation::ChangeDirectory,
       [](FakeNetwork& server) {
         std::string reply;
         for (int line = 0; line < 10; ++line) reply += "250-more\r\n";
         server.On("CWD", reply + "250 End\r\n");
         server.ControlPieces(10, 3s);
       },
       win32::ERROR_INTERNET_TIMEOUT, kReplyLimit, kReplyLimit + 3s},
      {"multi-line reply slow but within the limit", Operation::ChangeDirectory,
       [](FakeNetwork& server) {
         server.On("CWD", "250-one\r\n250-two\r\n250 End\r\n");
         server.ControlPieces(9, 3s);
       },
       0, 9s, 9s},
      {"preliminary replies that never end", Operation::ChangeDirectory,
       [](FakeNetwork& server) {
         std::string replies;
         for (int reply = 0; reply < 10'000; ++reply) replies += "150 Still working.\r\n";
         server.On("CWD", replies + "250 Changed.\r\n");
         server.ControlPieces(20, 5s);
       },
       win32::ERROR_INTERNET_INVALID_SERVER_RESPONSE, 0s, 10 * kReplyLimit},
      {"listing data silent", Operation::List,
       [](FakeNetwork& server) {
         server.OnTransfer("MLSD", Data(MachineListing(3), 0, 0ms, StreamEnd::Silent));
       },
       win32::ERROR_INTERNET_TIMEOUT, kDataLimit, kDataLimit},
      {"listing trickles a byte at a time", Operation::List,
       [](FakeNetwork& server) {
         server.OnTransfer("MLSD", Data(MachineListing(100), 1, 1s, StreamEnd::Close));
       },
       win32::ERROR_INTERNET_TIMEOUT, kDataLimit, kDataLimit + 1s},
      {"listing slow but steady", Operation::List,
       [](FakeNetwork& server) {
         server.OnTransfer("MLSD", Data(MachineListing(100), 100, 1s, StreamEnd::Close));
       },
       0, 10s, 200s},
      {"listing's final reply never comes", Operation::List,
       [](FakeNetwork& server) {
         server.OnTransfer("MLSD", Data(MachineListing(3), 0, 0ms, StreamEnd::Close, ""));
       },
       win32::ERROR_INTERNET_TIMEOUT, kReplyLimit, kReplyLimit},
      {"server never connects in active mode", Operation::List,
       [](FakeNetwork& server) {
         server.RefuseDataConnections(win32::ERROR_INTERNET_CANNOT_CONNECT);
       },
       win32::ERROR_INTERNET_TIMEOUT, kDataLimit, kDataLimit, false},
      {"download data silent", Operation::Download,
       [](FakeNetwork& server) {
         server.OnTransfer("RETR", Data("part", 0, 0ms, StreamEnd::Silent));
       },
       win32::ERROR_INTERNET_TIMEOUT, kDataLimit, kDataLimit},
      {"download's final reply never comes", Operation::Download,
       [](FakeNetwork& server) {
         server.OnTransfer("RETR", Data("whole", 0, 0ms, StreamEnd::Close, ""));
       },
       win32::ERROR_INTERNET_TIMEOUT, kReplyLimit, kReplyLimit},
      {"upload's final reply never comes", Operation::Upload,
       [](FakeNetwork& server) {
         server.OnTransfer("STOR", Data("", 0, 0ms, StreamEnd::Close, ""));
       },
       win32::ERROR_INTERNET_TIMEOUT, kReplyLimit, kReplyLimit},
  };
  inet::Options options;
  options.connect_timeout = 30s;
  options.reply_timeout = kReplyLimit;
  options.data_timeout = kDataLimit;
  for (const LimitCase& test : cases) {
    SCOPED_TRACE(test.name);
    FakeSession session;
    session.network->On("FEAT", "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n");
    ASSERT_TRUE(session.Open(options, test.passive).ok());
    test.script(*session.network);
    const auto start = session.network->Now();
    const Status status = Perform(test.operation, *session.connection);
    const auto took = session.network->Now() - start;
    EXPECT_EQ(status.error(), test.error);
    EXPECT_GE(took, test.at_least);
    EXPECT_LE(took, test.at_most);
    session.network->ControlPieces(0);
    EXPECT_TRUE(session.InStepOrDropped());
  }
}

}  // namespace
}  // namespace orvex::testing
