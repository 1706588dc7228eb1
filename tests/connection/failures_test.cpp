// Failures reach the host as failures: failed listings and lookups, lost
// connections, uploads whose option changed while they ran, downloads longer
// than listed, navigation entries and missing objects.
//
// Hostile cases, and what must stay untouched:
// | case                                          | result             | server keeps                |
// |-----------------------------------------------|--------------------|-----------------------------|
// | listing refused / cut / reset / truncated     | no object, report  | everything (nothing deleted)|
// | lookup through a failed listing               | no object, report  | everything                  |
// | connection lost, not restored                 | report "(12163)"   | everything; next call tries |
// | UseTempCopy switched between open and close   | close as opened    | the new content, by name    |
// | rename onto an existing target refused        | delete exact target, rename again | report.txt (other case) |
// | RNFR of the temporary file refused            | report, no delete  | the old target              |
// | RNTO answered 421 / 4xx, or not at all        | report, no delete  | the old target              |
// | temporary file not on the server              | report, no delete  | the old target              |
// | time, RNFR, RNTO sent together: time refused  | success, date now  | the new content, by name    |
// | ... RNFR refused (RNTO answered all the same) | report, no delete  | the old target              |
// | ... connection cut after the time's reply     | report             | the old target              |
// | rename carried out, its answer lost           | report, loss first | the new content, by name    |
// | STOR answered 425 before its data connection  | sent again, success| the new content, by name    |
// | ... and its passive port closed already       | sent again, success| the new content, by name    |
// | data connection refused after a temporary STOR| report, DELE .ovt  | the old target              |
// | data connection refused, written in place     | report, no STOR    | the old target              |
// | download: more data than listed               | close fails        | (host keeps its old copy)   |
// | download: data complete, final reply 426      | close fails        | (host keeps its old copy)   |
// | ".." or "." deleted through iPC               | false, report      | the parent / the folder     |
// | null item, stream or file                     | report, or error 424 | everything                |

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/error.h"
#include "tests/connection/plugin_fixture.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/free_port.h"
#include "tests/support/scripted_server.h"

namespace orvex {
namespace {

using namespace std::chrono_literals;
using testing::FaultProxy;
using testing::ScriptedServer;
using testing::ServerKind;
using testing_support::Marked;
using testing_support::PluginAtPort;
using testing_support::PluginFixture;
using Session = ScriptedServer::Session;
using Command = ScriptedServer::Command;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> VerbsOf(const std::vector<std::string>& commands) {
  std::vector<std::string> verbs;
  for (const auto& line : commands) verbs.push_back(line.substr(0, line.find(' ')));
  return verbs;
}

bool Sent(const ScriptedServer& server, const std::string& line) {
  const auto commands = server.Commands();
  return std::find(commands.begin(), commands.end(), line) != commands.end();
}

constexpr char kTwoFiles[] =
    "-rw-r--r--   1 owner group       10 Jan  5 10:00 first.txt\r\n"
    "-rw-r--r--   1 owner group       10 Jan  5 10:00 second.txt\r\n";

struct PluginListingFault {
  const char* name;
  ScriptedServer::Handler list;
  std::string reason;  // exactly, as it ends the report
  bool blocks_passive = false;
};

std::vector<PluginListingFault> PluginListingFaults() {
  return {
      {"refused 450", ScriptedServer::Fixed("450 No files found"), "450 No files found (450)"},
      {"451 after part of the data",
       [](Session& s, const Command&) {
         s.Reply("150 Here it comes");
         s.SendData(kTwoFiles);
         s.Reply("451 Local error in processing");
       },
       "451 Local error in processing (451)"},
      {"data connection reset",
       [](Session& s, const Command&) {
         s.Reply("150 Here it comes");
         s.SendDataThenReset(kTwoFiles);
         s.Reply("426 Data connection reset");
       },
       "The connection to the server was reset. (12031)"},
      {"226 truncated",
       [](Session& s, const Command&) {
         s.Reply("150 Here it comes");
         s.SendData(kTwoFiles);
         s.Reply("226 Listing truncated");
       },
       "226 Listing truncated (226)"},
      {"421 closing",
       [](Session& s, const Command&) {
         s.Reply("421 Too many users, bye");
         s.Close();
       },
       "The FTP connection was dropped. 421 Too many users, bye (12111)"},
      {"passive port blocked", nullptr, "The connection to the server could not be made. (12029)", true},
  };
}

TEST(PluginListingFaults, NoObjectAReportWithTheServersReasonAndNothingCached) {
  for (const auto& fault : PluginListingFaults()) {
    for (const std::string folder : {"", "sub"}) {
      SCOPED_TRACE(std::string(fault.name) + ", folder '" + folder + "'");
      ScriptedServer server;
      if (fault.blocks_passive) {
        server.On("EPSV", ScriptedServer::Fixed("229 Entering Extended Passive Mode (|||1|)"));
      } else {
        server.On("LIST", fault.list);
      }
      PluginAtPort f(server.port());
      ASSERT_TRUE(f.plugin().iPC_Connect(0)) << f.LastError();
      const std::string path = folder.empty() ? f.location() : f.path(folder);

      struct Member {
        const char* message;
        std::string item;
        std::function<bool()> returned_something;
      } members[] = {
          {"Error getting files for: %1: %2", path, [&] { return static_cast<bool>(f.plugin().iPC_GetFiles(path)); }},
          {"Error getting sub-folders for: %1: %2", path,
           [&] { return static_cast<bool>(f.plugin().iPC_GetFolders(path)); }},
          {"Error getting file: %1: %2", path + "\\first.txt",
           [&] { return static_cast<bool>(f.plugin().iPC_GetFile(path + "\\first.txt")); }},
          {"Error getting folder: %1: %2", path + "\\inner",
           [&] { return static_cast<bool>(f.plugin().iPC_GetFolder(path + "\\inner")); }},
          // Asked again: a failure is never cached as an empty folder.
          {"Error getting files for: %1: %2", path, [&] { return static_cast<bool>(f.plugin().iPC_GetFiles(path)); }},
      };
      for (auto& member : members) {
        SCOPED_TRACE(member.message);
        const std::size_t lines_before = f.LogLines().size();
        EXPECT_FALSE(member.returned_something());
        std::string message = member.message;
        message.replace(message.find("%1"), 2, member.item);
        message.replace(message.find("%2"), 2, fault.reason);
        const std::string bare = f.LastError();
        EXPECT_EQ(bare, Marked(message));
        ASSERT_EQ(f.LogLines().size(), lines_before + 1);
        EXPECT_EQ(f.LogLines().back(), "FTP(7) " + bare);
      }
    }
  }
}

TEST(PluginListingFaults, AnEmptyFolderIsAnEmptyCollectionAndAnUnlistedFileAPlaceholder) {
  ScriptedServer server;
  server.SetListing({});
  PluginAtPort f(server.port());
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  const auto files = f.plugin().iPC_GetFiles(f.location());
  ASSERT_TRUE(files);
  EXPECT_EQ(files->Count(), 0);
  const auto placeholder = f.plugin().iPC_GetFile(f.path("absent.txt"));
  ASSERT_TRUE(placeholder);
  EXPECT_EQ(placeholder->Size(), 0);
  EXPECT_TRUE(f.LogLines().empty());
}

TEST(PluginLostConnection, TheReportSaysSoInWordsAndTheNextCallTriesAgain) {
  ScriptedServer server;
  server.SetListing({"-rw-r--r--   1 owner group       10 Jan  5 10:00 first.txt"});
  server.SetFile("/first.txt", "0123456789");
  FaultProxy proxy(server.host(), server.port());
  PluginAtPort f(proxy.port());
  f.connection().ClearCacheOnConnect(true);  // every listing asks the server
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  auto stream = NewHostFileStream();
  stream->File(f.plugin().iPC_GetFile(f.path("first.txt")));
  stream->AccessMode(HostFileStream::kAccessRead);
  stream->Status(HostFileStream::kStatusAbandoned);  // opened only to connect the transfer session
  ASSERT_TRUE(f.plugin().iPC_OpenFile(stream) && f.plugin().iPC_CloseFile(stream)) << f.LastError();
  proxy.RefuseNew(true);
  proxy.CloseAll();  // both sessions lose their connection

  const std::string lost = " The connection to the server was lost and was not restored. (12163)\xC2\xBB";
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(call);
    EXPECT_FALSE(f.plugin().iPC_GetFiles(f.location()));
    std::string bare = f.LastError();
    EXPECT_NE(bare.find(": Unable to reconnect to the server: "), std::string::npos) << bare;
    EXPECT_TRUE(EndsWith(bare, lost)) << bare;
    EXPECT_FALSE(f.plugin().iPC_OpenFile(stream));
    bare = f.LastError();
    EXPECT_TRUE(bare.rfind("OpenFile: ", 0) == 0 && EndsWith(bare, lost)) << bare;
  }
  proxy.RefuseNew(false);
  const auto files = f.plugin().iPC_GetFiles(f.location());
  ASSERT_TRUE(files) << f.LastError();
  EXPECT_EQ(files->Count(), 1);
  EXPECT_TRUE(f.plugin().iPC_OpenFile(stream)) << f.LastError();
  EXPECT_TRUE(f.plugin().iPC_CloseFile(stream)) << f.LastError();
}

// An upload through the stream members; `between` runs after the data is
// written, before the close.
bool Upload(PluginAtPort& f, const std::string& name, const std::string& content,
            const std::function<void()>& between = [] {}) {
  auto file = NewHostFile();
  file->Init(f.path(name), name, static_cast<double>(content.size()), Date::Now(), 0, false);
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessWrite);
  if (!f.plugin().iPC_OpenFile(stream)) return false;
  std::vector<std::uint8_t> buffer(content.begin(), content.end());
  stream->Count(static_cast<std::int32_t>(buffer.size()));
  const bool written = f.plugin().iPC_WriteFile(stream, buffer);
  between();
  return f.plugin().iPC_CloseFile(stream) && written;
}

TEST(PluginUploadClose, FollowsTheModeTheUploadWasOpenedWith) {
  for (const bool opened_with_temporary_copy : {true, false}) {
    SCOPED_TRACE(opened_with_temporary_copy);
    ScriptedServer server;
    PluginAtPort f(server.port());
    f.connection().UseTempCopy(opened_with_temporary_copy);
    ASSERT_TRUE(f.plugin().iPC_Connect(0));
    ASSERT_TRUE(Upload(f, "report.txt", "new content",
                       [&] { f.connection().UseTempCopy(!opened_with_temporary_copy); }))
        << f.LastError();
    const auto verbs = VerbsOf(server.Commands());
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "DELE"), 0) << "nothing is deleted";
    if (opened_with_temporary_copy) {
      EXPECT_EQ(server.Uploaded("/report.txt.ovt"), "new content");
      EXPECT_TRUE(Sent(server, "RNFR /report.txt.ovt"));
      EXPECT_TRUE(Sent(server, "RNTO /report.txt"));
    } else {
      EXPECT_EQ(server.Uploaded("/report.txt"), "new content");
      EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "RNFR"), 0) << "nothing is renamed";
    }
    EXPECT_TRUE(f.LogLines().empty());
  }
}

TEST(PluginUploadClose, ARenameRefusedOverAnExistingTargetReplacesExactlyThatTarget) {
  // A case-sensitive server that will not rename onto an existing file.
  struct Case {
    const char* name;
    std::vector<std::string> listing;
    bool succeeds;
    const char* deleted;  // or nullptr
    const char* report;
    const char* from_reply = "350 Ready";
    const char* refusal = "553 Target exists (553)";
    const char* to_reply = nullptr;  // every RNTO: this, then the connection is cut
  } cases[] = {
      {"target there",
       {"-rw-r--r-- 1 o g 3 Jan 5 10:00 report.txt", "-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt",
        "-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt.ovt"},
       true, "DELE /Report.txt", nullptr},
      {"only a name differing in case",
       {"-rw-r--r-- 1 o g 3 Jan 5 10:00 report.txt", "-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt.ovt"},
       false, nullptr, "The new content stays on the server as '%1': %2"},
      {"temporary file missing",
       {"-rw-r--r-- 1 o g 3 Jan 5 10:00 Report.txt"},
       false, nullptr, "The upload is not on the server under its temporary name '%1': %2"},
      // The server turned down the temporary file itself (renames not
      // allowed): the target had no part in it and stays.
      {"source refused, target there",
       {"-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt", "-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt.ovt"},
       false, nullptr, "The new content stays on the server as '%1': %2", "550 Renaming not allowed",
       "550 Renaming not allowed (550)"},
      // The server went away instead of answering RNTO, again after the
      // reconnect: nothing says the target is in the way.
      {"connection lost at RNTO, target there",
       {"-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt", "-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt.ovt"},
       false, nullptr, nullptr, "350 Ready", "", "421 Going away"},
      {"RNTO refused for now (4xx), target there",
       {"-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt", "-rw-r--r-- 1 o g 11 Jan 5 10:00 Report.txt.ovt"},
       false, nullptr, "The new content stays on the server as '%1': %2", "350 Ready", "450 Busy (450)", "450 Busy"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ScriptedServer server;
    server.SetListing(test.listing);
    server.On("RNFR", ScriptedServer::Fixed(test.from_reply));
    int renames = 0;
    server.On("RNTO", [&renames, &test](Session& s, const Command&) {
      if (test.to_reply) {
        s.Reply(test.to_reply);
        if (std::string(test.to_reply).rfind("421", 0) == 0) s.Close();
        return;
      }
      s.Reply(renames++ == 0 ? "553 Target exists" : "250 Renamed");
    });
    PluginAtPort f(server.port());
    f.connection().UseTempCopy(true);
    ASSERT_TRUE(f.plugin().iPC_Connect(0));
    EXPECT_EQ(Upload(f, "Report.txt", "new content"), test.succeeds) << f.LastError();
    const auto commands = server.Commands();
    const auto deletions = std::count_if(commands.begin(), commands.end(),
                                         [](const std::string& line) { return line.rfind("DELE", 0) == 0; });
    if (test.deleted) {
      EXPECT_TRUE(Sent(server, test.deleted));
      EXPECT_EQ(deletions, 1);
      EXPECT_EQ(renames, 2);
    } else {
      EXPECT_EQ(deletions, 0) << "nothing is deleted on a guess";
    }
    if (test.report) {
      // "«...%1': %2»" with the temporary path and the server's refusal.
      std::string reason = "\xC2\xAB" + std::string(test.report);
      reason.replace(reason.find("%1"), 2, f.path("Report.txt") + ".ovt");
      reason = reason.substr(0, reason.find("%2")) + test.refusal;
      EXPECT_NE(f.LastError().find(reason), std::string::npos) << f.LastError();
    }
  }
}

// The upload's date as the close left it on the file; `dated` is the date
// the host gives the item.
struct UploadResult {
  bool succeeded = false;
  Date date;
};

UploadResult UploadDated(PluginAtPort& f, const std::string& name, const std::string& content, Date dated) {
  auto file = NewHostFile();
  file->Init(f.path(name), name, static_cast<double>(content.size()), dated, 0, false);
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessWrite);
  if (!f.plugin().iPC_OpenFile(stream)) return {};
  std::vector<std::uint8_t> buffer(content.begin(), content.end());
  stream->Count(static_cast<std::int32_t>(buffer.size()));
  const bool written = f.plugin().iPC_WriteFile(stream, buffer);
  const bool closed = f.plugin().iPC_CloseFile(stream);
  return {written && closed, stream->File()->DateModified()};
}

TEST(PluginUploadClose, PutsTheTimeAndTheNameInPlaceInOneExchange) {
  // The time goes on the temporary file, then RNFR and RNTO: sent together,
  // answered in order. 17 May 2020 10:20:30 UTC.
  const Date dated = Date::FromTimeT(1589710830);
  const std::string time_command = "MFMT 20200517102030 /report.txt.ovt";
  struct Case {
    const char* name;
    const char* time_reply;  // nullptr: the connection is cut after it
    const char* from_reply;
    bool succeeds;
    bool time_set;
    const char* report;  // part of the report or log line, or nullptr
  } cases[] = {
      {"all accepted", "213 Modify=20200517102030; /report.txt.ovt", "350 Ready", true, true, nullptr},
      {"time refused", "550 Not allowed here", "350 Ready", true, false, "550 Not allowed here"},
      {"RNFR refused", "213 Done", "550 No such file", false, false, "temporary name"},
      {"cut after the time", nullptr, "350 Ready", false, false, "report.txt"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ScriptedServer server;
    server.On("FEAT", ScriptedServer::Fixed("211-Features:\r\n MFMT\r\n MDTM\r\n UTF8\r\n211 End"));
    server.On("MFMT", [&test](Session& s, const Command&) {
      if (test.time_reply) {
        s.Reply(test.time_reply);
      } else {
        s.Close();
      }
    });
    server.On("RNFR", ScriptedServer::Fixed(test.from_reply));
    // A lax server that answers RNTO without asking whether RNFR worked.
    server.On("RNTO", ScriptedServer::Fixed("250 Renamed"));
    server.SetListing({"-rw-r--r-- 1 o g 3 Jan 5 10:00 report.txt"});
    PluginAtPort f(server.port());
    f.connection().UseTempCopy(true);
    ASSERT_TRUE(f.plugin().iPC_Connect(0));
    const UploadResult result = UploadDated(f, "report.txt", "new content", dated);
    EXPECT_EQ(result.succeeded, test.succeeds) << f.LastError();
    const auto commands = server.Commands();
    const auto time_sent = std::find(commands.begin(), commands.end(), time_command);
    ASSERT_NE(time_sent, commands.end());
    if (test.time_reply) {
      EXPECT_EQ(*std::next(time_sent), "RNFR /report.txt.ovt");
      EXPECT_EQ(*std::next(time_sent, 2), "RNTO /report.txt");
    }
    if (test.succeeds) {
      EXPECT_EQ(result.date == dated, test.time_set);
    }
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DELE /report.txt"), 0) << "nothing is deleted";
    if (test.report) {
      std::string said = f.LastError();
      for (const auto& line : f.LogLines()) said += line;
      EXPECT_NE(said.find(test.report), std::string::npos) << said;
    }
  }
}

TEST(PluginUploadClose, RepliesStayInStepAfterARefusedRename) {
  // RNFR refused: RNTO's answer must not be taken for the next command's.
  ScriptedServer server;
  server.On("RNFR", ScriptedServer::Fixed("550 No such file"));
  server.On("RNTO", ScriptedServer::Fixed("503 Bad sequence of commands"));
  server.SetListing({"-rw-r--r-- 1 o g 11 Jan 5 10:00 report.txt.ovt"});
  PluginAtPort f(server.port());
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  auto file = NewHostFile();
  file->Init(f.path("report.txt"), "report.txt", 11, Date::Now(), 0, false);
  EXPECT_FALSE(f.plugin().iPC_RenameFile(file, "renamed.txt"));
  EXPECT_NE(f.LastError().find("550 No such file"), std::string::npos) << f.LastError();
  const auto listed = f.plugin().iPC_GetFile(f.path("report.txt.ovt"));
  ASSERT_TRUE(listed) << f.LastError();
  EXPECT_FALSE(listed->Deleted());
  EXPECT_EQ(server.connections(), 1) << "no reconnect was needed";
}

// STOR as a server takes it once it is willing: the data is kept in
// `received`, and the reply says whether it all came.
void Store(Session& s, std::vector<std::string>& received) {
  s.Reply("150 Go ahead");
  const auto data = s.ReceiveData();
  if (data) received.push_back(*data);
  s.Reply(data ? "226 Stored" : "426 Failed");
}

TEST(PluginUploadClose, ARenameWhoseAnswerWasLostIsReportedAsTheLossNotAsARefusal) {
  // The server renames, then the connection goes before its answer; on the
  // new connection RNFR finds nothing. The upload fails (nothing proves the
  // new content is in place), but the report leads with the loss, so a
  // caller that retries transient failures tries again.
  ScriptedServer server;
  int renames = 0;
  server.On("RNFR", [&renames](Session& s, const Command&) {
    s.Reply(renames == 0 ? "350 Ready" : "550 No such file");
  });
  server.On("RNTO", [&renames](Session& s, const Command&) {
    if (renames++ == 0) {
      s.Close();
    } else {
      s.Reply("503 Bad sequence of commands");
    }
  });
  server.SetListing({"-rw-r--r-- 1 o g 11 Jan 5 10:00 report.txt"});
  PluginAtPort f(server.port());
  f.connection().UseTempCopy(true);
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  EXPECT_FALSE(Upload(f, "report.txt", "new content"));
  const std::string report = f.LastError();
  const auto again = report.find("Tried again on a new connection: ");
  ASSERT_NE(again, std::string::npos) << report;
  EXPECT_NE(report.find("550 No such file", again), std::string::npos) << report;
  EXPECT_NE(report.rfind("(120", again), std::string::npos) << "the loss's number comes first: " << report;
  EXPECT_FALSE(Sent(server, "DELE /report.txt"));
}

TEST(PluginUploadOpen, AStorAnsweredBeforeItsDataConnectionIsSentAgainConnectingFirst) {
  // A server that does not wait for the data connection of a command that
  // arrives before it: 425 once; then the connection comes first.
  ScriptedServer server;
  int stores = 0;
  std::vector<std::string> received;
  server.On("STOR", [&](Session& s, const Command&) {
    if (stores++ == 0) {
      s.Reply("425 No data connection yet");
      return;
    }
    Store(s, received);
  });
  PluginAtPort f(server.port());
  f.connection().UseTempCopy(true);
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  EXPECT_TRUE(Upload(f, "a.txt", "first")) << f.LastError();
  EXPECT_TRUE(Upload(f, "b.txt", "second")) << f.LastError();
  EXPECT_EQ(stores, 3) << "refused once, remembered";
  EXPECT_EQ(received, (std::vector<std::string>{"first", "second"}));
}

TEST(PluginUploadOpen, A425ThatCameBeforeARefusedDataConnectionIsAskedAgainConnectingFirst) {
  // The server does not wait: it has turned down STOR and closed its
  // passive port by the time the connection is tried (the 425 is on its
  // way before STOR is even read, so it is there when the client looks).
  testing::PortBlock closed;
  ScriptedServer server;
  int passives = 0;
  int stores = 0;
  std::vector<std::string> received;
  server.On("EPSV", [&](Session& s, const Command&) {
    if (passives++ == 0) {
      s.Reply("229 Entering Extended Passive Mode (|||" + std::to_string(closed.second()) + "|)");
      s.Reply("425 No data connection");
      return;
    }
    s.ReplyExtendedPassive();
  });
  server.On("STOR", [&](Session& s, const Command&) {
    if (stores++ == 0) return;  // answered already
    Store(s, received);
  });
  PluginAtPort f(server.port());
  f.connection().UseTempCopy(true);
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  EXPECT_TRUE(Upload(f, "a.txt", "first")) << f.LastError();
  EXPECT_EQ(stores, 2);
  EXPECT_EQ(received, std::vector<std::string>{"first"});
}

TEST(PluginUploadOpen, ADataConnectionThatCannotBeMadeLeavesTheTargetAlone) {
  // The passive port named is closed. Written under the temporary name,
  // STOR may already have made an empty file: it is deleted. Written in
  // place, STOR is never sent before the connection is there.
  for (const bool temporary_copy : {true, false}) {
    SCOPED_TRACE(temporary_copy);
    testing::PortBlock closed;
    ScriptedServer server;
    server.On("EPSV", ScriptedServer::Fixed("229 Entering Extended Passive Mode (|||" +
                                            std::to_string(closed.second()) + "|)"));
    PluginAtPort f(server.port());
    f.connection().UseTempCopy(temporary_copy);
    ASSERT_TRUE(f.plugin().iPC_Connect(0));
    EXPECT_FALSE(Upload(f, "report.txt", "new content"));
    const auto commands = server.Commands();
    const auto verbs = VerbsOf(commands);
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "RNFR"), 0);
    if (temporary_copy) {
      EXPECT_TRUE(Sent(server, "DELE /report.txt.ovt"));
      EXPECT_FALSE(Sent(server, "DELE /report.txt"));
    } else {
      EXPECT_FALSE(Sent(server, "STOR /report.txt")) << "the target is never opened";
      EXPECT_EQ(std::count(verbs.begin(), verbs.end(), "DELE"), 0);
    }
  }
}

// A download of `name`, reading the size the listing gave, as a host does.
bool Download(PluginAtPort& f, const std::string& name, std::string& content) {
  auto file = f.plugin().iPC_GetFile(f.path(name));
  if (!file) return false;
  auto stream = NewHostFileStream();
  stream->File(file);
  stream->AccessMode(HostFileStream::kAccessRead);
  if (!f.plugin().iPC_OpenFile(stream)) return false;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(file->Size()));
  stream->Count(static_cast<std::int32_t>(buffer.size()));
  const bool read = buffer.empty() || f.plugin().iPC_ReadFile(stream, buffer);
  content.assign(buffer.begin(), buffer.end());
  return f.plugin().iPC_CloseFile(stream) && read;
}

// (A final reply that never comes fails the same way, after the reply time
// limit; the session's tests show that with a short limit.)
TEST(PluginDownloadClose, MoreDataThanListedOrAFailedFinalReplyIsAFailedCopy) {
  struct Case {
    const char* name;
    ScriptedServer::Handler retrieve;
    bool succeeds;
    const char* reason;
  } cases[] = {
      {"exactly as listed",
       [](Session& s, const Command&) {
         s.Reply("150 Sending");
         s.SendData("0123456789ab");
         s.Reply("226 Transfer complete");
       },
       true, nullptr},
      {"longer than listed",
       [](Session& s, const Command&) {
         s.Reply("150 Sending");
         s.SendData(std::string(200'000, 'x'));
         s.Reply("226 Transfer complete");
       },
       false, "The file on the server is longer than listed: the copy is incomplete."},
      {"426 after all the data",
       [](Session& s, const Command&) {
         s.Reply("150 Sending");
         s.SendData("0123456789ab");
         s.Reply("426 Transfer aborted");
       },
       false, "426 Transfer aborted (426)"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ScriptedServer server;
    // Listed with 12 bytes, as vsftpd lists a link to a 200,000-byte file.
    server.SetListing({"-rw-r--r--   1 owner group       12 Jan  5 10:00 link.bin"});
    server.On("RETR", test.retrieve);
    PluginAtPort f(server.port());
    ASSERT_TRUE(f.plugin().iPC_Connect(0));
    std::string content;
    EXPECT_EQ(Download(f, "link.bin", content), test.succeeds) << f.LastError();
    if (test.reason) {
      EXPECT_NE(f.LastError().find("CloseFile: "), std::string::npos) << f.LastError();
      EXPECT_NE(f.LastError().find(test.reason), std::string::npos) << f.LastError();
    } else {
      EXPECT_EQ(content, "0123456789ab");
      EXPECT_TRUE(f.LogLines().empty());
    }
  }
}

class PluginLinks : public ::testing::TestWithParam<ServerKind> {};

TEST_P(PluginLinks, ALinkIsListedWithItsTargetsSizeAndCopiedWhole) {
  ORVEX_REQUIRE_SERVER(GetParam());
  PluginFixture f(GetParam());
  const std::string content(200'000, 'L');
  f.server().WriteFile("data/target.bin", content);
  std::filesystem::create_symlink("target.bin", f.server().root() / "data" / "link.bin");
  f.server().AdoptFiles();
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  const auto files = f.plugin().iPC_GetFiles(f.path("data"));
  ASSERT_TRUE(files) << f.plugin().iPC_Properties()->LastError();
  const auto link = files->Item("link.bin").AsInterface<HostFile>();
  ASSERT_TRUE(link);
  EXPECT_EQ(link->Size(), 200'000);
  const auto copied = f.Download("data/link.bin");
  ASSERT_TRUE(copied) << f.plugin().iPC_Properties()->LastError();
  EXPECT_EQ(*copied, content);
}

INSTANTIATE_TEST_SUITE_P(Servers, PluginLinks, ::testing::Values(ServerKind::Vsftpd, ServerKind::PureFtpd),
                         ::orvex::testing::NameTestsByServer());

TEST(PluginNavigationEntries, DeletingTheListedDotDotLeavesTheParentAlone) {
  ScriptedServer server;
  server.SetListing({
      "drwxr-xr-x   2 owner group     4096 Jan  5 10:00 .",
      "drwxr-xr-x   3 owner group     4096 Jan  5 10:00 ..",
      "-rw-r--r--   1 owner group       10 Jan  5 10:00 a.txt",
  });
  PluginAtPort f(server.port());
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  const auto folders = f.plugin().iPC_GetFolders(f.path("sub"));
  ASSERT_TRUE(folders);
  for (const char* name : {"..", "."}) {
    SCOPED_TRACE(name);
    const auto folder = folders->Item(name).AsInterface<HostFolder>();
    ASSERT_TRUE(folder);
    EXPECT_FALSE(f.plugin().iPC_DeleteFolder(folder, 0));
    EXPECT_FALSE(folder->Deleted());
    EXPECT_NE(f.LastError().find("An error occurred while deleting folder: "), std::string::npos) << f.LastError();
    EXPECT_FALSE(f.plugin().iPC_RenameFolder(folder, "elsewhere"));
  }
  const auto verbs = VerbsOf(server.Commands());
  for (const char* verb : {"DELE", "RMD", "RNFR", "RNTO"}) {
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), verb), 0) << verb;
  }
}

TEST(PluginMissingObjects, AreReportedOrRaisedNeverDereferenced) {
  ScriptedServer server;
  PluginAtPort f(server.port());
  ASSERT_TRUE(f.plugin().iPC_Connect(0));
  const auto no_file = com::ComPtr<HostFile>();
  const auto no_folder = com::ComPtr<HostFolder>();
  const auto stream_without_file = NewHostFileStream();
  stream_without_file->AccessMode(HostFileStream::kAccessRead);
  std::vector<std::uint8_t> buffer(4);

  struct Case {
    const char* name;
    std::function<bool()> succeeded;
  } cases[] = {
      {"RenameFile", [&] { return static_cast<bool>(f.plugin().iPC_RenameFile(no_file, "b.txt")); }},
      {"RenameFolder", [&] { return static_cast<bool>(f.plugin().iPC_RenameFolder(no_folder, "b")); }},
      {"DeleteFile", [&] { return f.plugin().iPC_DeleteFile(no_file, 0); }},
      {"DeleteFolder", [&] { return f.plugin().iPC_DeleteFolder(no_folder, 0); }},
      {"OpenFile without a file", [&] { return f.plugin().iPC_OpenFile(stream_without_file); }},
      {"OpenFile without a stream", [&] { return f.plugin().iPC_OpenFile(nullptr); }},
      {"ReadFile without a stream", [&] { return f.plugin().iPC_ReadFile(nullptr, buffer); }},
      {"WriteFile without a stream", [&] { return f.plugin().iPC_WriteFile(nullptr, buffer); }},
      {"CloseFile without a file", [&] { return f.plugin().iPC_CloseFile(stream_without_file); }},
      {"SeekFile without a stream", [&] { return f.plugin().iPC_SeekFile(nullptr, 1); }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const std::size_t lines_before = f.LogLines().size();
    EXPECT_FALSE(test.succeeded());
    EXPECT_EQ(f.LogLines().size(), lines_before + 1);
    const std::string bare = f.LastError();
    EXPECT_NE(bare.find("Object required"), std::string::npos) << bare;
  }
  const auto verbs = VerbsOf(server.Commands());
  for (const char* verb : {"DELE", "RMD", "RNFR", "RETR", "STOR"}) {
    EXPECT_EQ(std::count(verbs.begin(), verbs.end(), verb), 0) << verb;
  }
  try {
    f.plugin().iPC_Init(nullptr, "8", f.location());
    ADD_FAILURE() << "iPC_Init with no host raised nothing";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), error_number::kObjectRequired);
  }
}

}  // namespace
}  // namespace orvex
