// A listing that fails deep inside a tree while `orvex sync --delete` walks
// it: the listing's items are made while its data arrives, so each fault
// here comes after items of that folder exist. Both forms of listing that
// hand entries on as they arrive (MLSD, and LIST once "LIST -a" is
// settled), both directions.
//
//  fault while a/b/deep is listed        | untouched                           | exit
//  451 / 426 after part of the data      | --down: every local file, byte for  | 1
//  data connection reset midway          |   byte (a/b/deep/mine.txt and       |
//  "226 ... truncated"                   |   local-only.txt too)               |
//  421 and the connection closed         | --up: every remote file (no DELE,   | 1
//  data sent, no final reply (closed)    |   no RMD; no STOR into a/b/deep)    |
//  500 after part of the data (MLSD)     |                                     |
//  SIGINT / SIGTERM while it arrives     | every local file (--down --delete)  | 130 / 143

#include <signal.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/cli/cli_fixture.h"
#include "tests/cli/orvex_process.h"
#include "tests/support/scripted_server.h"

namespace orvex::testing {
namespace {

using Session = ScriptedServer::Session;
using Command = ScriptedServer::Command;

struct Fault {
  const char* name;
  // Answers the listing command after the first lines of the folder.
  std::function<void(Session&, const std::string& lines)> answer;
  bool machine_only = false;
};

std::vector<Fault> Faults() {
  const auto after_data = [](const char* reply) {
    return [reply](Session& s, const std::string& lines) {
      s.Reply("150 Here it comes");
      s.SendData(lines);
      s.Reply(reply);
    };
  };
  return {
      {"451 after data", after_data("451 Local error in processing")},
      {"426 after data", after_data("426 Connection closed; transfer aborted")},
      {"226 truncated", after_data("226 Listing truncated")},
      {"500 after data", after_data("500 MLSD not understood"), true},
      {"data reset",
       [](Session& s, const std::string& lines) {
         s.Reply("150 Here it comes");
         s.SendDataThenReset(lines);
         s.Reply("426 Data connection reset");
       }},
      {"421 closing",
       [](Session& s, const std::string& lines) {
         s.Reply("150 Here it comes");
         s.SendData(lines);
         s.Reply("421 Shutting down");
         s.Close();
       }},
      {"no final reply",
       [](Session& s, const std::string& lines) {
         s.Reply("150 Here it comes");
         s.SendData(lines);
         s.Close();
       }},
  };
}

// A remote tree as the scripted server lists it, by MLSD or by LIST (which
// proves "-a" on its first listing, so later ones are settled), with every
// listing of `failing` answered by `fault`. Each session keeps its own
// current folder (sessions run on threads of their own).
class TreeServer {
 public:
  struct Entry {
    std::string name;
    bool folder;
    std::string content;
  };

  TreeServer(bool machine, std::string failing, Fault fault) {
    if (machine) {
      server.On("FEAT", ScriptedServer::Fixed("211-Features:\r\n MLST type*;size*;modify*;\r\n EPSV\r\n UTF8\r\n211 End"));
    }
    server.On("CWD", [this](Session& s, const Command& command) {
      if (command.argument == "-a") return s.Reply("550 No such folder");
      std::lock_guard lock(mutex_);
      if (!tree_.count(command.argument)) return s.Reply("550 No such folder");
      Current() = command.argument;
      s.Reply("250 Folder changed");
    });
    const auto list = [this, machine, failing, fault](Session& s, const Command& command) {
      const std::string folder = Current();
      std::string lines;
      {
        std::lock_guard lock(mutex_);
        if (!machine && command.argument == "-a") {
          lines += "drwxr-xr-x   2 owner group     4096 Jan 01  2020 .\r\n";
        }
        for (const auto& entry : tree_[folder]) {
          if (machine) {
            lines += std::string(entry.folder ? "type=dir" : "type=file") +
                     ";size=" + std::to_string(entry.content.size()) + ";modify=20200101000000; " + entry.name + "\r\n";
          } else {
            lines += std::string(entry.folder ? "drwxr-xr-x" : "-rw-r--r--") + "   1 owner group " +
                     std::to_string(entry.content.size()) + " Jan 01  2020 " + entry.name + "\r\n";
          }
        }
      }
      if (folder == failing) return fault.answer(s, lines);
      s.Reply("150 Here it comes");
      s.Reply(s.SendData(lines) ? "226 Done" : "425 No data connection");
    };
    server.On(machine ? "MLSD" : "LIST", list);
  }

  void Add(const std::string& folder, Entry entry) {
    std::lock_guard lock(mutex_);
    const std::string path = folder == "/" ? "/" + entry.name : folder + "/" + entry.name;
    if (entry.folder) {
      tree_[path];
    } else {
      server.SetFile(path, entry.content);
    }
    tree_[folder].push_back(std::move(entry));
  }

  std::string Url() const { return "ftp://127.0.0.1:" + std::to_string(server.port()) + "/"; }
  bool Received(const std::string& verb) const {
    for (const auto& line : server.Commands()) {
      if (line.rfind(verb + " ", 0) == 0) return true;
    }
    return false;
  }
  bool ReceivedInto(const std::string& verb, const std::string& folder) const {
    for (const auto& line : server.Commands()) {
      if (line.rfind(verb + " ", 0) == 0 && line.find(folder) != std::string::npos) return true;
    }
    return false;
  }

  ScriptedServer server;

 private:
  static std::string& Current() {
    thread_local std::string current = "/";
    return current;
  }

  std::mutex mutex_;
  std::map<std::string, std::vector<Entry>> tree_{{"/", {}}};
};

class DeepListingFault : public CliTest {};

TEST_F(DeepListingFault, DeletesNothingFailsAndLeavesBothSidesAsTheyWere) {
  for (const bool machine : {true, false}) {
    for (const auto& fault : Faults()) {
      if (fault.machine_only && !machine) continue;
      SCOPED_TRACE(std::string(fault.name) + (machine ? ", MLSD" : ", settled LIST"));
      TreeServer remote(machine, "/a/b/deep", fault);
      remote.Add("/", {"top.txt", false, "top"});
      remote.Add("/", {"remote-only.txt", false, "remote"});
      remote.Add("/", {"a", true, ""});
      remote.Add("/a", {"a1.txt", false, "a1"});
      remote.Add("/a", {"b", true, ""});
      remote.Add("/a/b", {"b1.txt", false, "b1"});
      remote.Add("/a/b", {"deep", true, ""});
      for (int index = 0; index < 40; ++index) {
        remote.Add("/a/b/deep", {"d" + std::to_string(index) + ".txt", false, "d"});
      }

      const Tree local = {{"top.txt", "top"},          {"local-only.txt", "mine"},  {"a/", ""},
                          {"a/a1.txt", "a1"},          {"a/b/", ""},                {"a/b/b1.txt", "b1"},
                          {"a/b/deep/", ""},           {"a/b/deep/d0.txt", "d"},    {"a/b/deep/mine.txt", "mine"}};
      const auto folder = Local(std::string("down ") + fault.name + (machine ? " m" : " l"));
      WriteTree(folder, local);
      auto down = Orvex({"sync", folder.string(), remote.Url(), "--down", "--delete", "--user", "u",
                         "--password-stdin"},
                        "p\n");
      EXPECT_EQ(down.status, kFailure) << down.out << down.err;
      Tree expected = local;
      expected["remote-only.txt"] = "remote";  // copying goes on; deleting does not
      EXPECT_EQ(ReadTree(folder), expected) << down.out << down.err;

      const auto source = Local(std::string("up ") + fault.name + (machine ? " m" : " l"));
      WriteTree(source, {{"top.txt", "top"}, {"a/", ""}, {"a/b/", ""}, {"a/b/deep/", ""}, {"a/b/deep/new.txt", "n"}});
      auto up = Orvex({"sync", source.string(), remote.Url(), "--up", "--delete", "--user", "u", "--password-stdin"},
                      "p\n");
      EXPECT_EQ(up.status, kFailure) << up.out << up.err;
      EXPECT_FALSE(remote.Received("DELE")) << up.out << up.err;
      EXPECT_FALSE(remote.Received("RMD")) << up.out << up.err;
      EXPECT_FALSE(remote.ReceivedInto("STOR", "deep")) << up.out << up.err;
    }
  }
}

// A listing that names one file twice (as a server may after a listing of
// the same folder was given up midway): which of the two is the file is
// unclear, so neither side's file of that name is touched and the run fails;
// a folder listed twice is one folder.
TEST_F(DeepListingFault, AFileListedTwiceIsLeftAloneOnBothSides) {
  for (const bool machine : {true, false}) {
    SCOPED_TRACE(machine ? "MLSD" : "LIST");
    TreeServer remote(machine, "", Faults()[0]);
    remote.Add("/", {"a.txt", false, "old"});
    remote.Add("/", {"d", true, ""});
    remote.Add("/", {"a.txt", false, "other"});
    remote.Add("/", {"d", true, ""});
    remote.Add("/d", {"in.txt", false, "in"});

    const auto source = Local(std::string("up ") + (machine ? "m" : "l"));
    WriteTree(source, {{"a.txt", "new content"}, {"d/", ""}, {"d/in.txt", "in"}});
    auto up = Orvex({"sync", source.string(), remote.Url(), "--up", "--delete", "--user", "u", "--password-stdin"},
                    "p\n");
    EXPECT_EQ(up.status, kFailure) << up.out << up.err;
    EXPECT_NE(up.err.find("a.txt: the server lists this name more than once"), std::string::npos) << up.err;
    EXPECT_FALSE(remote.ReceivedInto("STOR", "a.txt"));
    for (const char* verb : {"DELE", "RMD", "RNFR"}) EXPECT_FALSE(remote.ReceivedInto(verb, "a.txt")) << verb;

    const auto target = Local(std::string("down ") + (machine ? "m" : "l"));
    const Tree local = {{"a.txt", "mine"}, {"only.txt", "mine too"}};
    WriteTree(target, local);
    auto down = Orvex({"sync", target.string(), remote.Url(), "--down", "--delete", "--user", "u", "--password-stdin"},
                      "p\n");
    EXPECT_EQ(down.status, kFailure) << down.out << down.err;
    Tree expected = local;
    expected["d/"] = "";
    expected["d/in.txt"] = "in";
    EXPECT_EQ(ReadTree(target), expected);
  }
}

// A signal while a large listing arrives ends the run at once with the
// signal's status; nothing on either side is deleted. The listing trickles
// in, so the signal always lands inside it.
TEST_F(DeepListingFault, ASignalDuringAListingStopsWithoutDeleting) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    auto started = std::make_shared<std::atomic<bool>>(false);
    const Fault trickle{"trickle", [started](Session& s, const std::string& lines) {
                          s.Reply("150 Here it comes");
                          *started = true;
                          s.Reply(s.SendDataSlowly(lines, std::chrono::milliseconds(1)) ? "226 Done" : "426 Aborted");
                        }};
    TreeServer remote(true, "/big", trickle);
    remote.Add("/", {"remote-only.txt", false, "r"});
    remote.Add("/", {"big", true, ""});
    for (int index = 0; index < 2000; ++index) remote.Add("/big", {"entry-" + std::to_string(index), false, ""});

    const auto target = Local("signalled " + std::to_string(signal));
    const Tree local = {{"big/", ""}, {"big/mine.txt", "mine"}, {"local-only.txt", "l"}};
    WriteTree(target, local);
    OrvexProcess run(ORVEX_CLI,
                     {"sync", target.string(), remote.Url(), "--down", "--delete", "--user", "u", "--password-stdin"},
                     Environment(), "p\n");
    for (int wait = 0; wait < 3000 && !*started; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(*started) << "the listing of big/ never began";
    run.Signal(signal);
    const auto result = run.Finish(std::chrono::seconds(30));
    EXPECT_EQ(result.status, ExitStatusOfSignal(signal)) << result.out << result.err;
    Tree expected = local;
    expected["remote-only.txt"] = "r";  // fetched before big/ was listed, or not at all
    Tree actual = ReadTree(target);
    if (!actual.count("remote-only.txt")) expected.erase("remote-only.txt");
    EXPECT_EQ(actual, expected) << result.out << result.err;
    EXPECT_FALSE(remote.Received("DELE"));
  }
}

}  // namespace
}  // namespace orvex::testing
