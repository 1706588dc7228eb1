// The listing reader, fed by a server in memory: each listing of the table
// comes over a data connection in pieces of every size, and ends well or in
// one of the ways a server or a network fails. A listing that did not end
// with the server's confirmation is an error, never an empty or a shorter
// folder: a sync takes what is missing from a listing for deleted.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/inet/support/fake_session.h"

namespace orvex::testing {
namespace {

using win32::ERROR_FTP_DROPPED;
using win32::ERROR_INTERNET_CONNECTION_ABORTED;
using win32::ERROR_INTERNET_CONNECTION_RESET;
using win32::ERROR_INTERNET_EXTENDED_ERROR;
using win32::ERROR_INTERNET_TIMEOUT;

const std::string kListLines =
    "-rw-r--r--   1 owner group         12 Jan  3 10:00 a.txt\r\n"
    "drwxr-xr-x   2 owner group       4096 Jan  3 10:00 dir\r\n"
    "-rw-r--r--   1 owner group          5 Jan  3 10:00 z.txt\r\n";
const std::string kMachineLines =
    "type=cdir;modify=20260103100000; .\r\n"
    "type=file;size=12;modify=20260103100000; a.txt\r\n"
    "type=dir;modify=20260103100000; dir\r\n"
    "type=file;size=5;modify=20260103100000; z.txt\r\n";
const std::vector<std::string> kAllNames = {"a.txt", "dir", "z.txt"};

std::string WithBareLineFeeds(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::string WithoutFinalLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// The first half of a listing: a data connection cut short.
std::string Part(const std::string& text) { return text.substr(0, text.size() / 2); }

struct ListingCase {
  const char* name;
  bool machine;  // the server offers MLSD
  TransferScript script;
  std::uint32_t error;
  std::vector<std::string> names = {};  // listed, when there is no error
  bool data_refused = false;             // no data connection can be opened
};

TEST(ListingReader, ListsAllOrFailsHoweverTheDataArrives) {
  const ListingCase cases[] = {
      {"LIST", false, Transfer(kListLines), 0, kAllNames},
      {"LIST, bare LF", false, Transfer(WithBareLineFeeds(kListLines)), 0, kAllNames},
      {"LIST, last line without a line end", false, Transfer(WithoutFinalLineEnd(kListLines)),
       0, kAllNames},
      {"MLSD", true, Transfer(kMachineLines), 0, kAllNames},
      {"MLSD, last line without a line end", true,
       Transfer(WithoutFinalLineEnd(kMachineLines)), 0, kAllNames},
      {"empty folder", false, Transfer(""), 0},
      {"empty folder, no data connection", false, Refused("226 No files found.\r\n"), 0},
      {"LIST refused", false, Refused("450 No files found.\r\n"), ERROR_INTERNET_EXTENDED_ERROR},
      {"MLSD refused", true, Refused("550 Permission denied.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"no data connection, but truncated", false, Refused("226 Listing truncated.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"4xx after part of the data", false,
       Transfer(Part(kListLines), "426 Connection closed; transfer aborted.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"4xx after all of the data", false, Transfer(kListLines, "451 Local error.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"MLSD, 4xx after part of the data", true,
       Transfer(Part(kMachineLines), "426 Connection closed; transfer aborted.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"success that says truncated", false, Transfer(kListLines, "226 Output truncated.\r\n"),
       ERROR_INTERNET_EXTENDED_ERROR},
      {"data reset", false, Transfer(Part(kListLines), "", StreamEnd::Reset),
       ERROR_INTERNET_CONNECTION_RESET},
      {"data silent", false, Transfer(Part(kListLines), "", StreamEnd::Silent),
       ERROR_INTERNET_TIMEOUT},
      {"no final reply, control closed", false,
       Transfer(kListLines, "", StreamEnd::Close, StreamEnd::Close),
       ERROR_INTERNET_CONNECTION_ABORTED},
      {"no final reply, control reset", true,
       Transfer(kMachineLines, "", StreamEnd::Close, StreamEnd::Reset),
       ERROR_INTERNET_CONNECTION_RESET},
      {"no final reply, control silent", false, Transfer(kListLines, ""), ERROR_INTERNET_TIMEOUT},
      {"data connection refused", false, Transfer(kListLines), win32::ERROR_INTERNET_CANNOT_CONNECT,
       {}, true},
      {"MLSD, data connection refused", true, Transfer(kMachineLines),
       win32::ERROR_INTERNET_CANNOT_CONNECT, {}, true},
      {"server closing instead of confirming", false,
       Transfer(kListLines, "421 Timeout.\r\n", StreamEnd::Close, StreamEnd::Close),
       ERROR_FTP_DROPPED},
  };
  // Each case is read both ways: kept whole, and handed on while it arrives.
  for (const bool handed_on : {false, true}) {
  for (const ListingCase& test : cases) {
    for (const std::size_t piece : PieceSizes(test.script.data.bytes.size())) {
      SCOPED_TRACE(::testing::Message() << test.name << ", pieces of " << piece
                                        << (handed_on ? ", handed on" : ", kept"));
      FakeSession session;
      if (test.machine) {
        session.network->On("FEAT", "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n");
      }
      TransferScript script = test.script;
      script.data.piece = piece;
      session.network->OnTransfer(test.machine ? "MLSD" : "LIST", script);
      if (test.data_refused) {
        session.network->RefuseDataConnections(win32::ERROR_INTERNET_CANNOT_CONNECT);
      }
      ASSERT_TRUE(session.Open().ok());
      std::vector<std::string> names;
      if (handed_on) {
        // Entries that went on before a failure describe no folder: only
        // the result says whether they are the listing.
        const inet::Status status = session.connection->List("/folder", [&](inet::RemoteEntry& entry) {
          names.push_back(entry.name);
          return true;
        });
        EXPECT_EQ(status.error(), test.error);
        if (status.ok()) {
          EXPECT_EQ(names, test.names);
        }
      } else {
        inet::RemoteEntries entries = {inet::RemoteEntry{"stale", 0, {}, 0}};
        const inet::Status status = session.connection->List("/folder", entries);
        EXPECT_EQ(status.error(), test.error);
        for (const inet::RemoteEntry& entry : entries) names.push_back(entry.name);
        EXPECT_EQ(names, test.names);
      }
      EXPECT_TRUE(session.InStepOrDropped());
      if (::testing::Test::HasFailure()) return;  // one cut of a case tells enough
    }
  }
  }
}

// A caller that wants no more stops the listing at once: the transfer is
// given up, the result says so, and the connection is still usable.
TEST(ListingReader, ACallerThatStopsEndsTheListingAsCancelled) {
  for (const bool machine : {true, false}) {
    SCOPED_TRACE(machine ? "MLSD" : "LIST");
    FakeSession session;
    if (machine) session.network->On("FEAT", "211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n");
    session.network->OnTransfer(machine ? "MLSD" : "LIST", Transfer(machine ? kMachineLines : kListLines));
    ASSERT_TRUE(session.Open().ok());
    int calls = 0;
    const inet::Status status = session.connection->List("/folder", [&](inet::RemoteEntry&) {
      ++calls;
      return false;
    });
    EXPECT_EQ(status.error(), win32::ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(session.InStepOrDropped());
  }
}

}  // namespace
}  // namespace orvex::testing
