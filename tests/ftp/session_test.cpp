// Connecting: URL forms, ports, error texts, status, handles of an earlier
// connection.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "ftp/wininet.h"
#include "tests/ftp/session_fixture.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/ftp_server.h"
#include "tests/support/scripted_server.h"

namespace orvex::ftp_testing {
namespace {

using namespace std::chrono_literals;
using orvex::testing::FaultProxy;
using orvex::testing::FtpServer;
using orvex::testing::ScriptedServer;
using orvex::testing::ServerKind;

std::string LastCommand(const ScriptedServer& server, const std::string& verb) {
  std::string found;
  for (const auto& line : server.Commands()) {
    if (line.rfind(verb + " ", 0) == 0 || line == verb) found = line;
  }
  return found;
}

TEST(SessionConnect, UrlFormsGiveBaseLocationServerAndInitialFolder) {
  ScriptedServer server;
  const std::string authority = server.host() + ":" + std::to_string(server.port());
  const std::string base = "ftp://" + authority;
  struct Case {
    std::string url;
    std::string base_location;
    std::string server;
    std::string initial_folder;  // "" when the connect must fail
  } cases[] = {
      {base, base, authority, "/"},
      {base + "/", base, authority, "/"},
      {base + "/pub/docs", base, authority, "/pub/docs"},
      // No "/" behind the prefix: the whole text is taken as the server.
      {base + "\\pub", base + "\\pub", authority + "\\pub", ""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.url);
    TestSession session;
    const bool connected = session.ftp.Connect(test.url, "user", "secret", "");
    EXPECT_EQ(session.ftp.Location(), test.url);
    EXPECT_EQ(session.ftp.BaseLocation(), test.base_location);
    EXPECT_EQ(session.ftp.Server(), test.server);
    if (test.initial_folder.empty()) {
      EXPECT_FALSE(connected);
      EXPECT_FALSE(session.ftp.Connected());
      EXPECT_NE(session.ftp.LastError().find(" (120"), std::string::npos) << session.ftp.LastError();
      continue;
    }
    ASSERT_TRUE(connected) << session.ftp.LastError();
    EXPECT_EQ(LastCommand(server, "CWD"), "CWD " + test.initial_folder);
    EXPECT_EQ(session.ftp.GetCurrentDirectory(), base + "/");  // the scripted PWD says "/"
  }
}

TEST(SessionConnect, ServerPathDropsTheBaseLocationAndTurnsBackslashes) {
  ScriptedServer server;
  const std::string base = LocationOf(server.host(), server.port());
  TestSession session;
  ASSERT_TRUE(session.ftp.Connect(base + "/pub", "user", "secret", ""));
  struct Case {
    std::string host_path;
    std::string server_path;
  } cases[] = {
      {base, "/"},
      {base + "/", "/"},
      {"ftp:", "/"},
      {base + "\\pub\\a.txt", "/pub/a.txt"},
      {base + "/pub\\docs/b c.txt", "/pub/docs/b c.txt"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(session.ftp.ServerPath(test.host_path), test.server_path) << test.host_path;
  }
}

TEST(SessionConnect, PortsFromOneTo65535AreUsedZeroIsTheDefaultAnythingNumericElseIsRefused) {
  ScriptedServer server;
  const std::string url = "ftp://" + server.host();  // no port in the URL
  const std::string port = std::to_string(server.port());
  TestSession session;
  ASSERT_TRUE(session.ftp.Connect(url, "user", "secret", port)) << session.ftp.LastError();
  EXPECT_EQ(session.ftp.Port(), port);

  for (const std::string refused : {"-1", "65536", "70000", "1e9"}) {
    SCOPED_TRACE(refused);
    const int connections = server.connections();
    EXPECT_FALSE(session.ftp.Connect(url, "user", "secret", refused));
    EXPECT_FALSE(session.ftp.Connected());
    EXPECT_NE(session.ftp.LastError().find("1 to 65535"), std::string::npos)
        << session.ftp.LastError();
    EXPECT_EQ(server.connections(), connections) << "nothing may be attempted";
    EXPECT_EQ(session.ftp.Port(), port);
  }

  // Not a number: the default port, and Port keeps the last numeric text.
  ScriptedServer through_url;
  EXPECT_TRUE(session.ftp.Connect(LocationOf(through_url.host(), through_url.port()), "user",
                                  "secret", "abc"));
  EXPECT_EQ(session.ftp.Port(), port);
  // 0: the default port too (here the one the URL names).
  EXPECT_TRUE(session.ftp.Connect(LocationOf(through_url.host(), through_url.port()), "user",
                                  "secret", "0"))
      << session.ftp.LastError();
  EXPECT_EQ(through_url.connections(), 2);
}

TEST(SessionConnect, AProxyTextThatCannotBeUsedIsRefusedWithTheReason) {
  TestSession session;
  for (const std::string proxy : {"proxy.invalid:0", "proxy.invalid:99999", ":3128"}) {
    SCOPED_TRACE(proxy);
    EXPECT_FALSE(session.ftp.Connect("ftp://127.0.0.1", "user", "secret", "", proxy));
    EXPECT_NE(session.ftp.LastError().find("The proxy \"" + proxy + "\" cannot be used"), std::string::npos)
        << session.ftp.LastError();
    EXPECT_EQ(session.ftp.LastError().back(), ')');
  }
}

TEST(SessionConnect, ConnectingAgainClosesTheEarlierConnection) {
  ScriptedServer server;
  FaultProxy proxy(server.host(), server.port());
  TestSession session;
  const std::string url = LocationOf(proxy.host(), proxy.port(), "/");
  ASSERT_TRUE(session.ftp.Connect(url, "user", "secret", ""));
  const auto first = session.ftp.hConnection();
  ASSERT_TRUE(session.ftp.Connect(url, "user", "secret", ""));
  EXPECT_FALSE(wininet::InternetCloseHandle(first)) << "the first handle is still open";
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (proxy.open_connections() > 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(proxy.open_connections(), 1);
  EXPECT_EQ(proxy.accepted_connections(), 2);
}

TEST(SessionConnect, FailedEntryToTheFolderDisconnects) {
  ScriptedServer server;
  server.On("CWD", ScriptedServer::Fixed("550 No such folder here"));
  TestSession session;
  EXPECT_FALSE(session.ftp.Connect(LocationOf(server.host(), server.port(), "/gone"), "u", "p", ""));
  EXPECT_FALSE(session.ftp.Connected());
  EXPECT_EQ(session.ftp.hOpen(), 0u);
  EXPECT_EQ(session.ftp.LastError(), "550 No such folder here (550)");
}

TEST(SessionErrors, TextIsTheMessageASpaceAndTheNumber) {
  struct Case {
    std::uint32_t number;
    std::string text;
  } cases[] = {
      {wininet::ERROR_INTERNET_NAME_NOT_RESOLVED,
       std::string(*win32::MessageText(wininet::ERROR_INTERNET_NAME_NOT_RESOLVED)) + " (12007)"},
      {wininet::ERROR_FTP_DROPPED, "The FTP connection was dropped. (12111)"},
      {4242424, "Error description not available. (4242424)"},
  };
  for (const auto& test : cases) EXPECT_EQ(cxFTP::GetErrorText(test.number), test.text);
}

TEST(SessionErrors, RefusedLoginAndServerRepliesAndStatus) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  FtpServer server(ServerKind::Pyftpdlib);
  server.MakeFolder("pub");
  const std::string url = LocationOf(server.host(), server.port(), "/");
  TestSession session;

  EXPECT_FALSE(session.ftp.Connect(url, server.user(), "wrong", ""));
  EXPECT_FALSE(session.ftp.Connected());
  EXPECT_NE(session.ftp.LastError().find(" (12014)"), std::string::npos) << session.ftp.LastError();

  ASSERT_TRUE(session.ftp.Connect(url, server.user(), server.password(), ""));
  EXPECT_EQ(session.ftp.GetStatus(), "OK");

  // A server's refusal: its reply text and code, also in the status.
  com::ComPtr<script::Collection> files, folders;
  EXPECT_FALSE(session.ftp.ListDirectory(url + "missing", files, folders));
  const std::string& error = session.ftp.LastError();
  EXPECT_EQ(error.rfind("550 ", 0), 0u) << error;
  EXPECT_EQ(error.substr(error.size() - 6), " (550)");
  EXPECT_EQ(session.ftp.GetStatus().rfind("550 ", 0), 0u) << session.ftp.GetStatus();
  // A success afterwards leaves the recorded failure alone.
  EXPECT_TRUE(session.ftp.ListDirectory(url + "pub", files, folders));
  EXPECT_EQ(session.ftp.LastError(), error);
}

}  // namespace
}  // namespace orvex::ftp_testing
