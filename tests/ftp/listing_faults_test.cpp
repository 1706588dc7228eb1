// A listing that fails is a failure, never an empty folder: every fault a
// server can give while listing, with LIST and with MLSD, at the location
// and in a sub-folder. Hostile cases and what must hold for each:
//
// | fault (reply to LIST/MLSD)                 | result | LastError ends  | cache  |
// |--------------------------------------------|--------|-----------------|--------|
// | 450 / 550 refused                          | false  | (450) / (550)   | untouched |
// | 425 no data connection                     | false  | (425)           | untouched |
// | data, then 451 / 426                       | false  | (451) / (426)   | untouched |
// | data connection reset midway               | false  | (12031)         | untouched |
// | "226 ... truncated"                        | false  | (226)           | untouched |
// | 421 and the control connection closed      | false  | 421 text (12111)| untouched |
// | passive port blocked (nothing listens)     | false  | (12029)         | untouched |
// | data sent, control closed, no final reply  | false  | (12030)         | untouched |
// | an empty folder (226, no lines)            | true   | -               | stored empty |

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/inet/wininet.h"
#include "tests/ftp/session_fixture.h"
#include "tests/support/scripted_server.h"

namespace orvex::ftp_testing {
namespace {

using namespace std::chrono_literals;
using orvex::testing::ScriptedServer;
using Session = ScriptedServer::Session;
using Command = ScriptedServer::Command;

constexpr char kPartialListing[] =
    "-rw-r--r--   1 owner group       10 Jan  5 10:00 first.txt\r\n"
    "-rw-r--r--   1 owner group       10 Jan  5 10:00 second.txt\r\n";
constexpr char kPartialMachineListing[] =
    "type=file;size=10;modify=20240105100000; first.txt\r\n"
    "type=file;size=10;modify=20240105100000; second.txt\r\n";

struct ListingFault {
  const char* name;
  // Answers the listing command; `data` is what a listing would send.
  std::function<void(Session&, const std::string& data)> answer;
  const char* reason_ends;
  // The fault kills the data port announcement rather than the listing.
  bool on_passive = false;
};

std::vector<ListingFault> ListingFaults() {
  return {
      {"refused 450", [](Session& s, const std::string&) { s.Reply("450 No files found"); },
       "450 No files found (450)"},
      {"refused 550", [](Session& s, const std::string&) { s.Reply("550 Permission denied"); },
       "550 Permission denied (550)"},
      {"no data connection 425",
       [](Session& s, const std::string&) { s.Reply("425 Can't open data connection"); },
       "425 Can't open data connection (425)"},
      {"451 after part of the data",
       [](Session& s, const std::string& data) {
         s.Reply("150 Here it comes");
         s.SendData(data);
         s.Reply("451 Local error in processing");
       },
       "451 Local error in processing (451)"},
      {"426 after part of the data",
       [](Session& s, const std::string& data) {
         s.Reply("150 Here it comes");
         s.SendData(data);
         s.Reply("426 Connection closed; transfer aborted");
       },
       "426 Connection closed; transfer aborted (426)"},
      {"data connection reset",
       [](Session& s, const std::string& data) {
         s.Reply("150 Here it comes");
         s.SendDataThenReset(data);
         s.Reply("426 Data connection reset");
       },
       "(12031)"},
      {"226 truncated",
       [](Session& s, const std::string& data) {
         s.Reply("150 Here it comes");
         s.SendData(data);
         s.Reply("226 Listing truncated at 2 entries");
       },
       "226 Listing truncated at 2 entries (226)"},
      {"421 closing",
       [](Session& s, const std::string&) {
         s.Reply("421 Too many users, bye");
         s.Close();
       },
       "The FTP connection was dropped. 421 Too many users, bye (12111)"},
      {"no final reply, control closed",
       [](Session& s, const std::string& data) {
         s.Reply("150 Here it comes");
         s.SendData(data);
         s.Close();
       },
       "The server closed the connection. (12030)"},
      {"passive port blocked", nullptr, "(12029)", true},
  };
}

// The forms of listing a fault can strike: the client's first LIST (kept
// whole while it finds out whether "LIST -a" is understood), MLSD, and a
// LIST once "-a" is settled (entries go on to the caller as they arrive,
// so a fault comes after items were made from them).
enum class Form { FirstList, Machine, SettledList };

// A server whose every listing fails as `fault` says; for Form::Machine it
// offers MLSD (and the client uses it), otherwise LIST only. For
// Form::SettledList the first listing succeeds and proves "-a".
void Script(ScriptedServer& server, const ListingFault& fault, Form form) {
  const bool machine = form == Form::Machine;
  if (machine) {
    server.On("FEAT", ScriptedServer::Fixed("211-Features:\r\n MLST type*;size*;modify*;\r\n EPSV\r\n211 End"));
  }
  if (fault.on_passive) {
    // A firewall drops the data port: the port named leads nowhere.
    server.On("EPSV", ScriptedServer::Fixed("229 Entering Extended Passive Mode (|||1|)"));
    return;
  }
  const std::string data = machine ? kPartialMachineListing : kPartialListing;
  auto answer = fault.answer;
  if (form == Form::SettledList) {
    server.On("CWD", [](Session& session, const Command& command) {
      session.Reply(command.argument == "-a" ? "550 No such directory" : "250 OK");
    });
    auto listings = std::make_shared<int>(0);
    server.On("LIST", [answer, data, listings](Session& session, const Command&) {
      if (++*listings > 1) return answer(session, data);
      session.Reply("150 Here it comes");
      session.SendData("drwxr-xr-x   2 owner group     4096 Jan  5 10:00 .\r\n" + data);
      session.Reply("226 Done");
    });
    return;
  }
  server.On(machine ? "MLSD" : "LIST", [answer, data](Session& session, const Command&) { answer(session, data); });
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(ListingFaults, EveryFaultFailsTheListingAndCachesNothing) {
  for (const auto& fault : ListingFaults()) {
    for (const Form form : {Form::FirstList, Form::Machine, Form::SettledList}) {
      if (form == Form::SettledList && fault.on_passive) continue;  // no listing could settle it
      for (const char* folder : {"", "\\sub"}) {
        SCOPED_TRACE(std::string(fault.name) +
                     (form == Form::Machine ? ", MLSD" : form == Form::FirstList ? ", LIST" : ", settled LIST") +
                     ", folder '" + folder + "'");
        ScriptedServer server;
        Script(server, fault, form);
        TestSession session;
        const std::string location = LocationOf(server.host(), server.port());
        ASSERT_TRUE(session.ftp.Connect(location, "u", "p", "")) << session.ftp.LastError();
        const std::string path = location + folder;
        if (form == Form::SettledList) {
          com::ComPtr<script::Collection> files, folders;
          ASSERT_TRUE(session.ftp.ListDirectory(location + "\\settled", files, folders)) << session.ftp.LastError();
          ASSERT_EQ(files->Count(), 2) << "the settling listing";
        }

        com::ComPtr<script::Collection> files, folders;
        EXPECT_FALSE(session.ftp.ListDirectory(path, files, folders));
        ASSERT_TRUE(files && folders);
        EXPECT_EQ(files->Count() + folders->Count(), 0);
        EXPECT_TRUE(EndsWith(session.ftp.LastError(), fault.reason_ends)) << session.ftp.LastError();
        com::ComPtr<script::Collection> cached_files, cached_folders;
        EXPECT_FALSE(session.cache->GetContents(path, cached_folders, cached_files));

        // A lookup through the failed listing is no "not there".
        bool listed = true;
        EXPECT_FALSE(session.ftp.GetFile(path + "\\first.txt", listed));
        EXPECT_FALSE(listed);
        listed = true;
        EXPECT_FALSE(session.ftp.GetFolder(path + "\\inner", listed));
        EXPECT_FALSE(listed);
      }
    }
  }
}

TEST(ListingFaults, OnlyAnEmptyFolderListsAsEmpty) {
  struct Case {
    const char* name;
    ScriptedServer::Handler list;
  } cases[] = {
      {"no lines", [](Session& s, const Command&) {
         s.Reply("150 Here it comes");
         s.SendData("");
         s.Reply("226 Done");
       }},
      {"226 without a data connection", ScriptedServer::Fixed("226 No files")},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ScriptedServer server;
    server.On("LIST", test.list);
    TestSession session;
    const std::string location = LocationOf(server.host(), server.port());
    ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));
    com::ComPtr<script::Collection> files, folders;
    ASSERT_TRUE(session.ftp.ListDirectory(location, files, folders)) << session.ftp.LastError();
    EXPECT_EQ(files->Count() + folders->Count(), 0);
    com::ComPtr<script::Collection> cached_files, cached_folders;
    EXPECT_TRUE(session.cache->GetContents(location, cached_folders, cached_files));
    bool listed = false;
    EXPECT_FALSE(session.ftp.GetFile(location + "\\absent.txt", listed));
    EXPECT_TRUE(listed) << "listed, and the file is simply not there";
  }
}

// Restores the engine's default time limits when a test has shortened them.
class ShortDataTimeLimit {
 public:
  explicit ShortDataTimeLimit(wininet::DWORD milliseconds) {
    wininet::InternetSetOptionA(0, wininet::INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &milliseconds, sizeof milliseconds);
  }
  ~ShortDataTimeLimit() {
    wininet::DWORD minute = 60'000;
    wininet::InternetSetOptionA(0, wininet::INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &minute, sizeof minute);
  }
};

TEST(ListingFaults, ATricklingListingEndsButASlowSteadyDownloadDoesNot) {
  // One byte every 20 ms, with a data time limit of a second: no single read
  // ever waits long, but the listing would take minutes.
  ShortDataTimeLimit limit(1000);
  ScriptedServer server;
  std::string listing;
  for (int line = 0; line < 200; ++line) {
    listing += "-rw-r--r--   1 owner group       10 Jan  5 10:00 file" + std::to_string(line) + "\r\n";
  }
  server.On("LIST", [listing](Session& s, const Command&) {
    s.Reply("150 Here it comes");
    s.Reply(s.SendDataSlowly(listing, 20ms) ? "226 Done" : "426 Aborted");
  });
  const std::string content(40, 'x');  // 4 s, a byte every 100 ms
  server.On("RETR", [content](Session& s, const Command&) {
    s.Reply("150 Sending");
    s.Reply(s.SendDataSlowly(content, 100ms) ? "226 Transfer complete" : "426 Aborted");
  });
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));

  const auto started = std::chrono::steady_clock::now();
  com::ComPtr<script::Collection> files, folders;
  EXPECT_FALSE(session.ftp.ListDirectory(location, files, folders));
  EXPECT_TRUE(EndsWith(session.ftp.LastError(), "(12002)")) << session.ftp.LastError();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 60s) << "bounded long before the listing would end";

  const auto file = session.ftp.OpenFileStream(location + "\\slow.bin", wininet::GENERIC_READ, 0);
  ASSERT_NE(file, 0u) << session.ftp.LastError();
  std::vector<std::uint8_t> buffer(64);
  std::uint32_t read = 0;
  ASSERT_TRUE(session.ftp.ReadFileStream(file, buffer, 64, read)) << session.ftp.LastError();
  EXPECT_EQ(read, content.size());
  EXPECT_TRUE(session.ftp.CloseFileStream(file));
}

TEST(DownloadFaults, DataWithoutAFinalReplyIsNoCompleteDownload) {
  // All the bytes arrive, the server never confirms: reading on to the end
  // fails once the reply time limit is over, it never ends as a success.
  wininet::DWORD second = 1000;
  wininet::InternetSetOptionA(0, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, &second, sizeof second);
  ScriptedServer server;
  server.On("RETR", [](Session& s, const Command&) {
    s.Reply("150 Sending");
    s.SendData("0123456789ab");
    s.Hang();
  });
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));
  const auto file = session.ftp.OpenFileStream(location + "\\quiet.bin", wininet::GENERIC_READ, 0);
  ASSERT_NE(file, 0u) << session.ftp.LastError();
  std::vector<std::uint8_t> buffer(12);
  std::uint32_t read = 0;
  ASSERT_TRUE(session.ftp.ReadFileStream(file, buffer, 12, read));
  EXPECT_EQ(read, 12u);
  EXPECT_FALSE(session.ftp.ReadFileStream(file, buffer, 1, read));
  EXPECT_TRUE(EndsWith(session.ftp.LastError(), "(12002)")) << session.ftp.LastError();
  session.ftp.CloseFileStream(file);
  wininet::DWORD minute = 60'000;
  wininet::InternetSetOptionA(0, wininet::INTERNET_OPTION_RECEIVE_TIMEOUT, &minute, sizeof minute);
}

}  // namespace
}  // namespace orvex::ftp_testing
