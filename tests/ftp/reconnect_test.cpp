// Lost connections: one reconnect per call, never a reconnect inside a
// reconnect, and a clear failure when the server stays away.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "connection/host/host_objects.h"
#include "platform/inet/wininet.h"
#include "tests/ftp/session_fixture.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/ftp_server.h"
#include "tests/support/scripted_server.h"

namespace orvex::ftp_testing {
namespace {

using namespace std::chrono_literals;
using orvex::testing::FaultProxy;
using orvex::testing::FtpServer;
using orvex::testing::FtpServerOptions;
using orvex::testing::ScriptedServer;
using orvex::testing::ServerKind;

constexpr const char* kUnableToReconnect = "Unable to reconnect to the server: ";
constexpr const char* kLostAndNotRestored = " The connection to the server was lost and was not restored. (12163)";

// The text a failed reconnect leaves: why, then that the connection is gone.
bool SaysLostAndNotRestored(const std::string& text) {
  return text.rfind(kUnableToReconnect, 0) == 0 && text.size() > std::string(kLostAndNotRestored).size() &&
         text.compare(text.size() - std::string(kLostAndNotRestored).size(), std::string::npos,
                      kLostAndNotRestored) == 0;
}

class Reconnect : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    ORVEX_REQUIRE_SERVER(GetParam());
    server_ = std::make_unique<FtpServer>(GetParam());
    server_->WriteFile("pub/a.txt", "a");
    proxy_ = std::make_unique<FaultProxy>(server_->host(), server_->port());
    location_ = LocationOf(proxy_->host(), proxy_->port(), "/pub");
    ASSERT_TRUE(session_.ftp.Connect(location_, server_->user(), server_->password(), "", "", true))
        << session_.ftp.LastError();
  }
  bool List() { return session_.ftp.ListDirectory(location_, files_, folders_); }

  std::unique_ptr<FtpServer> server_;
  std::unique_ptr<FaultProxy> proxy_;
  TestSession session_;
  std::string location_;
  com::ComPtr<script::Collection> files_, folders_;
};

TEST_P(Reconnect, ADroppedConnectionCostsExactlyOneReconnect) {
  ASSERT_TRUE(List());
  struct Fault {
    const char* name;
    void (FaultProxy::*cut)();
  } faults[] = {{"closed", &FaultProxy::CloseAll}, {"reset", &FaultProxy::ResetAll}};
  int accepted = proxy_->accepted_connections();
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.name);
    ((*proxy_).*fault.cut)();
    EXPECT_TRUE(List()) << session_.ftp.LastError();
    EXPECT_EQ(Names(files_), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(proxy_->accepted_connections(), accepted + 1);
    EXPECT_TRUE(session_.ftp.NoCache()) << "a reconnect keeps the NoCache of the last Connect";
    accepted = proxy_->accepted_connections();
    session_.ftp.NoCache(true);
  }
}

TEST_P(Reconnect, AFreshListingAskedForAfterConnectingStaysFreshThroughAReconnect) {
  // Connected using the cache; a caller that needs the server's word (a
  // check before replacing a file) turns the cache off for one listing.
  // A reconnect halfway must not hand it the cached copy.
  ASSERT_TRUE(session_.ftp.Connect(location_, server_->user(), server_->password(), "", "", false));
  ASSERT_TRUE(List());
  server_->WriteFile("pub/b.txt", "b");
  session_.ftp.NoCache(true);
  proxy_->CloseAll();
  EXPECT_TRUE(List()) << session_.ftp.LastError();
  auto names = Names(files_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_TRUE(session_.ftp.NoCache());
}

TEST_P(Reconnect, AServerGoneForGoodFailsTheCallAfterOneAttempt) {
  ASSERT_TRUE(List());
  proxy_->RefuseNew(true);
  proxy_->CloseAll();
  int accepted = proxy_->accepted_connections();

  EXPECT_FALSE(List());
  EXPECT_TRUE(SaysLostAndNotRestored(session_.ftp.LastError())) << session_.ftp.LastError();
  EXPECT_EQ(proxy_->accepted_connections(), accepted + 1);
  EXPECT_FALSE(session_.ftp.Connected());
  // Each later call tries once more and says the same while the server
  // stays away...
  EXPECT_FALSE(List());
  EXPECT_TRUE(SaysLostAndNotRestored(session_.ftp.LastError())) << session_.ftp.LastError();
  EXPECT_EQ(proxy_->accepted_connections(), accepted + 2);
  // ...and goes on once it is back.
  proxy_->RefuseNew(false);
  EXPECT_TRUE(List()) << session_.ftp.LastError();
  EXPECT_EQ(Names(files_), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(session_.ftp.Connected());
  EXPECT_EQ(proxy_->accepted_connections(), accepted + 3);
  // After the owner's own Disconnect nothing reconnects behind its back.
  session_.ftp.Disconnect();
  EXPECT_FALSE(List());
  EXPECT_NE(session_.ftp.LastError().find(" (6)"), std::string::npos) << session_.ftp.LastError();
  EXPECT_EQ(proxy_->accepted_connections(), accepted + 3);
}

TEST_P(Reconnect, CallsThatGoDeepStillMakeOneAttempt) {
  const auto nested = NewHostFolder();
  nested->Path(location_ + "\\x\\y\\z");
  const auto folder = NewHostFolder();
  folder->Path(location_ + "\\x");
  struct Case {
    const char* name;
    std::function<bool()> call;
  } cases[] = {
      {"creating parents", [&] { return session_.ftp.CreateFolder(nested); }},
      {"emptying a folder", [&] { return session_.ftp.DeleteDirectory(folder); }},
      {"opening a file", [&] {
         return session_.ftp.OpenFileStream(location_ + "\\a.txt", wininet::GENERIC_READ, 0) != 0;
       }},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    proxy_->RefuseNew(false);
    ASSERT_TRUE(session_.ftp.Connect(location_, server_->user(), server_->password(), ""));
    proxy_->RefuseNew(true);
    proxy_->CloseAll();
    const int accepted = proxy_->accepted_connections();
    EXPECT_FALSE(test.call());
    EXPECT_EQ(proxy_->accepted_connections(), accepted + 1);
    EXPECT_TRUE(SaysLostAndNotRestored(session_.ftp.LastError())) << session_.ftp.LastError();
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, Reconnect,
                         ::testing::Values(ServerKind::Pyftpdlib, ServerKind::Vsftpd),
                         ::orvex::testing::NameTestsByServer());

TEST(ReconnectIdle, AnIdleTimeoutBetweenCallsIsSurvived) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  FtpServerOptions options;
  options.idle_timeout = 1s;
  FtpServer server(ServerKind::Vsftpd, options);
  server.WriteFile("a.txt", "a");
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  ASSERT_TRUE(session.ftp.Connect(location, server.user(), server.password(), "", "", true));
  std::this_thread::sleep_for(2500ms);
  com::ComPtr<script::Collection> files, folders;
  EXPECT_TRUE(session.ftp.ListDirectory(location, files, folders)) << session.ftp.LastError();
  EXPECT_EQ(Names(files), std::vector<std::string>{"a.txt"});
}

TEST(ReconnectNested, AReconnectThatLosesTheConnectionAgainStartsNoOther) {
  // The server lets every login in but drops the session at any CWD after
  // the first one.
  ScriptedServer server;
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port(), "/pub");
  ASSERT_TRUE(session.ftp.Connect(location, "u", "p", ""));
  server.On("CWD", [](ScriptedServer::Session& client, const ScriptedServer::Command&) {
    client.Close();
  });
  com::ComPtr<script::Collection> files, folders;
  EXPECT_FALSE(session.ftp.ListDirectory(location, files, folders));
  EXPECT_TRUE(SaysLostAndNotRestored(session.ftp.LastError())) << session.ftp.LastError();
  EXPECT_EQ(server.connections(), 2);
  EXPECT_FALSE(session.ftp.Connected());

  // The next call makes its one attempt, no more.
  EXPECT_FALSE(session.ftp.ListDirectory(location, files, folders));
  EXPECT_TRUE(SaysLostAndNotRestored(session.ftp.LastError())) << session.ftp.LastError();
  EXPECT_EQ(server.connections(), 3);
}

TEST(ReconnectAfterFailedConnect, NoReconnectWithoutASuccessfulConnect) {
  ScriptedServer server;
  server.On("PASS", ScriptedServer::Fixed("530 Login incorrect"));
  TestSession session;
  const std::string location = LocationOf(server.host(), server.port());
  EXPECT_FALSE(session.ftp.Connect(location, "u", "p", ""));
  com::ComPtr<script::Collection> files, folders;
  EXPECT_FALSE(session.ftp.ListDirectory(location, files, folders));
  EXPECT_EQ(server.connections(), 1);
  EXPECT_NE(session.ftp.LastError().find(" (6)"), std::string::npos) << session.ftp.LastError();
}

}  // namespace
}  // namespace orvex::ftp_testing
