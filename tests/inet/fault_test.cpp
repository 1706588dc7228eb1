// What the API does when the network or the server misbehaves: dropped,
// reset and stalled control connections (a forwarder between us and a real
// server), and scripted servers that lie, never stop talking or never answer.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "tests/inet/client_fixture.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/ftp_server.h"
#include "tests/support/scripted_server.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::FaultProxy;
using ::orvex::testing::FtpServer;
using ::orvex::testing::FtpServerOptions;
using ::orvex::testing::ScriptedServer;
using ::orvex::testing::ServerKind;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool IsConnectionLost(DWORD error) {
  return error == ERROR_INTERNET_CONNECTION_ABORTED ||
         error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_FTP_DROPPED;
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeouts(5s, 5s, 5s); }
  void TearDown() override { SetTimeouts(30s, 60s, 60s); }
};

class ScriptedFaults : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    ASSERT_TRUE(client_.Connect(server_.host(), server_.port(), "user", "secret"))
        << client_.error();
  }

  std::size_t CommandCount() const { return server_.Commands().size(); }

  ScriptedServer server_;
  Client client_;
};

TEST_F(ScriptedFaults, PassiveAddressesNamedByTheServerAreNotFollowed) {
  server_.SetListing({"-rw-r--r--   1 owner group         12 Jan  3 10:00 a.txt",
                      "drwxr-xr-x   2 owner group       4096 Jan  3 10:00 dir"});
  server_.SetExtendedPassive(false);
  // An address that would leave the machine (documentation range).
  server_.SetPassiveAddress("192.0.2.7");
  const std::vector<Listed> listed = ListFolder(client_.connection(), "/");
  EXPECT_EQ(listed, (std::vector<Listed>{{"a.txt", false, 12, 0, {}},
                                         {"dir", true, 0, 0, {}}}));
  // Both data connections of the first listing ("LIST -a", then plain LIST
  // to learn whether "-a" is understood) reached 127.0.0.1.
  EXPECT_EQ(server_.data_connections(), 2);
  const auto commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "PASV"), commands.end());
}

TEST(ListAllProbe, TheOptionIsTrustedOnlyWhereNoFolderOfThatNameCouldHaveBeenListed) {
  // "LIST -a" shows "." here. A server that takes "-a" for a name lists the
  // folder "-a" instead; only where there is none ("CWD -a" refused) does
  // "." prove the option without a second, plain listing.
  const std::vector<std::string> folder_itself = {
      "drwxr-xr-x 2 o g 4096 Jan 3 10:00 .", "drwxr-xr-x 5 o g 4096 Jan 3 10:00 ..",
      "-rw-r--r-- 1 o g 7 Jan 3 10:00 .hidden", "-rw-r--r-- 1 o g 5 Jan 3 10:00 a.txt"};
  const std::vector<std::string> folder_called_dash_a = {
      "drwxr-xr-x 2 o g 4096 Jan 3 10:00 .", "drwxr-xr-x 5 o g 4096 Jan 3 10:00 ..",
      "-rw-r--r-- 1 o g 9 Jan 3 10:00 inner.txt"};
  const std::vector<std::string> plain = {"drwxr-xr-x 2 o g 4096 Jan 3 10:00 .",
                                          "drwxr-xr-x 5 o g 4096 Jan 3 10:00 ..",
                                          "-rw-r--r-- 1 o g 5 Jan 3 10:00 a.txt"};
  struct Case {
    const char* name;
    bool option_understood;  // else "-a" names a folder that is there
    const char* enter_dash_a;
    const char* back;  // the answer to the CWD back, when one is sent
    bool listed;
    std::vector<std::string> names;  // what the first listing gives
    int listings;                    // LIST commands for it
    const char* next_listing;        // the verb of the next one
  } cases[] = {
      {"understood, no folder -a", true, "550 No such directory", nullptr, true,
       {".hidden", "a.txt"}, 1, "LIST -a"},
      {"taken for a name, folder -a there", false, "250 Okay", "250 Okay", true,
       {".", "..", "a.txt"}, 2, "LIST"},
      {"taken for a name, no way back", false, "250 Okay", "550 Gone", false, {}, 1, nullptr},
      {"understood, CWD -a answered 450", true, "450 Try later", nullptr, true,
       {".hidden", "a.txt"}, 2, "LIST -a"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    ScriptedServer server;
    server.On("LIST", [&](ScriptedServer::Session& session, const ScriptedServer::Command& command) {
      const auto& lines = command.argument == "-a"
                              ? (test.option_understood ? folder_itself : folder_called_dash_a)
                              : (test.option_understood ? std::vector<std::string>(folder_itself.begin() + 2,
                                                                                    folder_itself.end())
                                                        : plain);
      std::string data;
      for (const auto& line : lines) data += line + "\r\n";
      session.Reply("150 Here it comes");
      session.SendData(data);
      session.Reply("226 Done");
    });
    int entered = 0;
    server.On("CWD", [&](ScriptedServer::Session& session, const ScriptedServer::Command& command) {
      if (command.argument == "-a") {
        ++entered;
        session.Reply(test.enter_dash_a);
      } else {
        session.Reply(entered > 0 && test.back ? test.back : "250 Okay");
      }
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.host(), server.port(), "user", "secret")) << client.error();
    ASSERT_TRUE(FtpSetCurrentDirectoryA(client.connection(), "/pub"));
    WIN32_FIND_DATAA data;
    const HINTERNET find = FtpFindFirstFileA(client.connection(), nullptr, &data, INTERNET_FLAG_RELOAD, 0);
    std::vector<std::string> names;
    if (find != 0) {
      do names.push_back(data.cFileName); while (InternetFindNextFileA(find, &data));
      InternetCloseHandle(find);
    }
    EXPECT_EQ(find != 0, test.listed) << GetLastError();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, test.names);
    auto commands = server.Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const std::string& line) { return line.rfind("LIST", 0) == 0; }),
              test.listings);
    if (test.back) {
      EXPECT_NE(std::find(commands.begin(), commands.end(), "CWD /"), commands.end()) << "back by PWD's name";
    }
    if (test.next_listing) {
      const HINTERNET again = FtpFindFirstFileA(client.connection(), nullptr, &data, INTERNET_FLAG_RELOAD, 0);
      ASSERT_NE(again, 0u) << GetLastError();
      InternetCloseHandle(again);
      commands = server.Commands();
      const auto last = std::find_if(commands.rbegin(), commands.rend(),
                                     [](const std::string& line) { return line.rfind("LIST", 0) == 0; });
      EXPECT_EQ(*last, test.next_listing);
    }
  }
}

TEST_F(ScriptedFaults, ListingsInOtherFormatsReachTheCallerAsListed) {
  server_.SetListing({
      "total 12",
      "12-31-25  11:30PM       <DIR>          Program Files",
      "01-02-26  08:05AM           5368709120 huge.iso",
      "drwxr-xr-x   2 owner group       4096 Jan  3 10:00 .",
      "drwxr-xr-x   5 owner group       4096 Jan  3 10:00 ..",
      "crw-rw-rw-   1 root  root      1,   3 Jan  3 10:00 null",
      "lrwxrwxrwx   1 owner group          7 Jan  3 10:00 latest -> v2.0.tar",
      "this line is no listing entry at all",
  });
  const std::vector<Listed> listed = ListFolder(client_.connection(), "/");
  const std::vector<Listed> expected = {{".", true, 0, 0, {}},
                                        {"..", true, 0, 0, {}},
                                        {"Program Files", true, 0, 0, {}},
                                        {"huge.iso", false, 5368709120ull, 0, {}},
                                        {"latest", false, 7, 0, {}}};
  EXPECT_EQ(listed, expected);
  ASSERT_EQ(listed.size(), expected.size());
  EXPECT_EQ(listed[4].attributes, FILE_ATTRIBUTE_REPARSE_POINT);
  SYSTEMTIME time;
  ASSERT_TRUE(FileTimeToSystemTime(&listed[3].written, &time));
  // As the server shows it, no zone applied.
  EXPECT_EQ(std::vector<int>({time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute}),
            std::vector<int>({2026, 1, 2, 8, 5}));
}

// Connects from `source` (any 127/8 address works on loopback) to
// 127.0.0.1:port and sends `bytes`; false when the connection failed.
bool SendFrom(const char* source, std::uint16_t port, std::string_view bytes) {
  const int descriptor = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, source, &address.sin_addr);
  bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
  address.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  const bool sent =
      connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(bytes.size());
  close(descriptor);
  return sent;
}

TEST_F(Faults, ActiveModeAcceptsTheServerOnly) {
  ScriptedServer server;
  auto port = std::make_shared<std::atomic<int>>(0);
  server.On("EPRT", [port](ScriptedServer::Session& session,
                           const ScriptedServer::Command& command) {
    // "|1|127.0.0.1|port|"
    const std::string& argument = command.argument;
    const std::size_t end = argument.rfind('|');
    const std::size_t start = argument.rfind('|', end - 1) + 1;
    *port = std::stoi(argument.substr(start, end - start));
    session.Reply("200 EPRT command successful");
  });
  server.On("RETR", [port](ScriptedServer::Session& session, const ScriptedServer::Command&) {
    session.Reply("150 Opening data connection");
    // A stranger gets there first; then the server itself.
    SendFrom("127.0.0.2", static_cast<std::uint16_t>(port->load()), "injected");
    SendFrom("127.0.0.1", static_cast<std::uint16_t>(port->load()), "genuine");
    session.Reply("226 Transfer complete");
  });
  Client client;
  ASSERT_TRUE(client.Connect(server.host(), server.port(), "user", "secret",
                             /*passive=*/false));
  std::string content;
  ASSERT_TRUE(Download(client.connection(), "/file", 0, content))
      << GetLastError() << " " << LastResponse();
  EXPECT_EQ(content, "genuine");
}

TEST_F(ScriptedFaults, EmptyListingWithoutDataConnectionIsEmptyNotAnError) {
  server_.On("LIST", ScriptedServer::Fixed("226 No files found"));
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FtpFindFirstFileA(client_.connection(), nullptr, &data, 0, 0), 0u);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FtpSetCurrentDirectoryA(client_.connection(), "/"));
}

TEST_F(ScriptedFaults, EndlessReplyLineIsCutOff) {
  server_.On("PWD", ScriptedServer::Endless("257 \""));
  const auto start = Clock::now();
  char directory[260];
  DWORD length = sizeof directory;
  EXPECT_FALSE(FtpGetCurrentDirectoryA(client_.connection(), directory, &length));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_SERVER_RESPONSE);
  EXPECT_LT(Clock::now() - start, 4s) << "cut off by size, not by the time limit";
  // The connection is given up; the caller is told to reconnect.
  EXPECT_FALSE(FtpSetCurrentDirectoryA(client_.connection(), "/"));
  EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
}

TEST_F(ScriptedFaults, UnansweredCommandTimesOutWithinTheLimit) {
  SetTimeouts(5s, 1s, 5s);
  Client quick;
  ASSERT_TRUE(quick.Connect(server_.host(), server_.port(), "user", "secret"));
  server_.On("CWD", ScriptedServer::Silent());
  const auto start = Clock::now();
  EXPECT_FALSE(FtpSetCurrentDirectoryA(quick.connection(), "/pub"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, 900ms);
  EXPECT_LT(elapsed, 3s);
  EXPECT_FALSE(FtpSetCurrentDirectoryA(quick.connection(), "/"));
  EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);

  // A server that accepts and never greets.
  ScriptedServer mute;
  mute.SetGreeting("");
  Client waiting;
  EXPECT_FALSE(waiting.Connect(mute.host(), mute.port(), "user", "secret"));
  EXPECT_EQ(waiting.error(), ERROR_INTERNET_TIMEOUT);
}

TEST_F(ScriptedFaults, LineBreaksInNamesAreRefusedBeforeAnythingIsSent) {
  const HINTERNET connection = client_.connection();
  const std::size_t before = CommandCount();
  for (const char* name : {"a\r\nDELE victim", "b\nRMD victim", "c\r"}) {
    EXPECT_FALSE(FtpSetCurrentDirectoryA(connection, name));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(FtpDeleteFileA(connection, name));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(FtpRemoveDirectoryA(connection, name));
    EXPECT_FALSE(FtpCreateDirectoryA(connection, name));
    EXPECT_FALSE(FtpRenameFileA(connection, "ok", name));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    EXPECT_FALSE(FtpRenameFileA(connection, name, "ok"));
    EXPECT_EQ(FtpOpenFileA(connection, name, GENERIC_WRITE, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FtpFindFirstFileA(connection, name, &data, 0, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  }
  EXPECT_EQ(CommandCount(), before) << "nothing may reach the server";
  Client injected;
  EXPECT_FALSE(injected.Connect(server_.host(), server_.port(), "user\r\nDELE x", "p"));
  EXPECT_EQ(injected.error(), ERROR_INVALID_NAME);
  for (const std::string& command : server_.Commands()) {
    EXPECT_EQ(command.find("victim"), std::string::npos) << command;
    EXPECT_EQ(command.find("DELE x"), std::string::npos) << command;
  }
  // The connection is still fine.
  EXPECT_TRUE(FtpSetCurrentDirectoryA(connection, "/"));
}

TEST_F(ScriptedFaults, RefusedOrIncompleteTransfersAreNeverSuccesses) {
  // The upload's data arrives, then the server refuses to keep it.
  server_.On("STOR", [](ScriptedServer::Session& session, const ScriptedServer::Command&) {
    session.Reply("150 Ready to receive");
    session.ReceiveData();
    session.Reply("552 Disk quota exceeded");
  });
  const HINTERNET upload =
      FtpOpenFileA(client_.connection(), "/full.bin", GENERIC_WRITE, 0, 0);
  ASSERT_NE(upload, 0u);
  DWORD written = 0;
  EXPECT_TRUE(InternetWriteFile(upload, "data", 4, &written));
  EXPECT_EQ(written, 4u);
  EXPECT_FALSE(InternetCloseHandle(upload));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
  DWORD code = 0;
  EXPECT_EQ(LastResponse(&code), "552 Disk quota exceeded");
  EXPECT_EQ(code, 552u);

  // A download the server ends with an error after some bytes.
  server_.On("RETR", [](ScriptedServer::Session& session, const ScriptedServer::Command&) {
    session.Reply("150 Sending");
    session.SendData("partial");
    session.Reply("426 Connection closed; transfer aborted");
  });
  std::string content;
  EXPECT_FALSE(Download(client_.connection(), "/cut.bin", 0, content));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);

  // Listings the server reports as failed or cut short.
  for (const char* final_reply :
       {"426 Connection closed; transfer aborted", "226 Output truncated to 1 matches"}) {
    server_.On("LIST", [final_reply](ScriptedServer::Session& session,
                                     const ScriptedServer::Command&) {
      session.Reply("150 Here comes the listing");
      session.SendData("-rw-r--r-- 1 o g 1 Jan  3 10:00 only.txt\r\n");
      session.Reply(final_reply);
    });
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FtpFindFirstFileA(client_.connection(), nullptr, &data, 0, 0), 0u)
        << final_reply;
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR) << final_reply;
  }
  EXPECT_TRUE(FtpSetCurrentDirectoryA(client_.connection(), "/"));
}

TEST_F(ScriptedFaults, AsciiModeConvertsTheWireForm) {
  server_.SetFile("/wire.txt", "one\r\ntwo\r\r\n\r\nbare\rcr\r");
  for (const DWORD block : {1u, 2u, 3u, 65536u}) {
    std::string content;
    ASSERT_TRUE(Download(client_.connection(), "/wire.txt", FTP_TRANSFER_TYPE_ASCII,
                         content, block))
        << block;
    EXPECT_EQ(content, "one\ntwo\r\n\nbare\rcr\r") << "block " << block;
  }
  std::string binary;
  ASSERT_TRUE(Download(client_.connection(), "/wire.txt", FTP_TRANSFER_TYPE_BINARY, binary));
  EXPECT_EQ(binary, "one\r\ntwo\r\r\n\r\nbare\rcr\r");

  ASSERT_TRUE(Upload(client_.connection(), "/up.txt", FTP_TRANSFER_TYPE_ASCII,
                     "x\ny\r\n\nz", 1));
  EXPECT_EQ(server_.Uploaded("/up.txt"), "x\r\ny\r\n\r\nz");
  const auto commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "TYPE A"), commands.end());
}

TEST_F(Faults, RefusedGreetingIsReportedWithTheReply) {
  ScriptedServer busy;
  busy.SetGreeting("421 Too many connections, try later");
  Client client;
  EXPECT_FALSE(client.Connect(busy.host(), busy.port(), "user", "secret"));
  EXPECT_EQ(client.error(), ERROR_INTERNET_EXTENDED_ERROR);
  EXPECT_EQ(LastResponse(), "421 Too many connections, try later");
}

class ForwardedFaults : public Faults {
 protected:
  void SetUp() override {
    Faults::SetUp();
    ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
    server_ = std::make_unique<FtpServer>(ServerKind::Pyftpdlib);
    proxy_ = std::make_unique<FaultProxy>(server_->host(), server_->port());
    ASSERT_TRUE(Connect(client_));
    server_->WriteFile("a.txt", "alpha");
    ASSERT_EQ(ListFolder(client_.connection(), "/").size(), 1u);
  }
  void TearDown() override {
    if (proxy_) proxy_->Resume();
    Faults::TearDown();
  }

  bool Connect(Client& client) {
    return client.Connect(proxy_->host(), proxy_->port(), server_->user(),
                          server_->password());
  }

  std::unique_ptr<FtpServer> server_;
  std::unique_ptr<FaultProxy> proxy_;
  Client client_;
};

TEST_F(ForwardedFaults, ClosedOrResetControlConnectionAsksForAReconnect) {
  for (const bool reset : {false, true}) {
    Client client;
    ASSERT_TRUE(Connect(client));
    if (reset) {
      proxy_->ResetAll();
    } else {
      proxy_->CloseAll();
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(FtpSetCurrentDirectoryA(client.connection(), "/"));
    const DWORD first = GetLastError();
    EXPECT_TRUE(IsConnectionLost(first)) << "reset " << reset << ": " << first;
    if (reset) {
      EXPECT_NE(first, ERROR_INTERNET_CONNECTION_ABORTED) << "a reset is not a close";
    }
    std::string content;
    EXPECT_FALSE(Download(client.connection(), "/a.txt", 0, content));
    EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
  }
  // A new connection works at once.
  Client again;
  ASSERT_TRUE(Connect(again));
  std::string content;
  ASSERT_TRUE(Download(again.connection(), "/a.txt", 0, content));
  EXPECT_EQ(content, "alpha");
}

TEST_F(ForwardedFaults, StalledServerTimesOutWithinTheLimit) {
  SetTimeouts(5s, 1500ms, 5s);
  Client client;
  ASSERT_TRUE(Connect(client));
  proxy_->Stall();
  const auto start = Clock::now();
  EXPECT_FALSE(FtpSetCurrentDirectoryA(client.connection(), "/"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, 1400ms);
  EXPECT_LT(elapsed, 4s);
  proxy_->Resume();
  // After a timeout the reply may still come; the connection is not trusted.
  EXPECT_FALSE(FtpSetCurrentDirectoryA(client.connection(), "/"));
  EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
}

TEST_F(Faults, ServerIdleTimeoutAsksForAReconnect) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  FtpServerOptions options;
  options.idle_timeout = 1s;
  FtpServer server(ServerKind::Vsftpd, options);
  Client client;
  ASSERT_TRUE(client.Connect(server.host(), server.port(), server.user(), server.password()));
  std::this_thread::sleep_for(2500ms);
  EXPECT_FALSE(FtpSetCurrentDirectoryA(client.connection(), "/"));
  EXPECT_TRUE(IsConnectionLost(GetLastError())) << GetLastError();
}

}  // namespace
}  // namespace orvex::wininet::testing
