#include "tests/support/ftp_server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "tests/support/free_port.h"
#include "tests/support/socket_util.h"
#include "tests/support/tests/run_command.h"

namespace orvex::testing {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Set = std::set<std::string>;

// Names in a name listing as curl prints it; some servers also name "." and "..".
Set Names(const std::string& listing) {
  Set names;
  size_t start = 0;
  for (size_t end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string name = listing.substr(start, end - start);
    if (!name.empty() && name.back() == '\r') name.pop_back();
    if (name != "." && name != "..") names.insert(name);
  }
  return names;
}

class FtpServerTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override { ORVEX_REQUIRE_SERVER(GetParam()); }
};

// The whole life of a server as the reconnect tests use it: log in, list,
// upload, stop (port shut), restart (same port, same files, same login).
TEST_P(FtpServerTest, ServesListsStoresStopsAndRestarts) {
  FtpServer server(GetParam());
  std::cout << "[ measure  ] " << server.name() << " greeted after "
            << server.startup_time().count() << " ms\n";
  server.WriteFile("folder/seeded.txt", "seeded\n");

  CommandResult listing = Curl("--list-only " + server.url() + "folder/");
  ASSERT_EQ(listing.exit_code, 0) << listing.output << server.Log();
  EXPECT_EQ(Names(listing.output), Set({"seeded.txt"}));

  CommandResult upload = RunCommand("printf 'uploaded\\n' | curl -s -S --max-time 20 -T - " +
                                    server.url() + "folder/up.bin 2>&1");
  ASSERT_EQ(upload.exit_code, 0) << upload.output << server.Log();
  EXPECT_EQ(ReadFile(server.root() / "folder/up.bin"), "uploaded\n");
  // The server may delete what the test seeded (it owns it).
  CommandResult remove = Curl("-Q '-DELE seeded.txt' --list-only " + server.url() + "folder/");
  EXPECT_EQ(remove.exit_code, 0) << remove.output;
  EXPECT_FALSE(std::filesystem::exists(server.root() / "folder/seeded.txt"));

  const std::uint16_t port = server.port();
  server.Stop();
  EXPECT_FALSE(server.running());
  EXPECT_FALSE(PortAnswers(port));

  server.Restart();
  EXPECT_EQ(server.port(), port);
  CommandResult again = Curl("--list-only " + server.url() + "folder/");
  EXPECT_EQ(again.exit_code, 0) << again.output;
  EXPECT_EQ(Names(again.output), Set({"up.bin"}));
}

TEST_P(FtpServerTest, RefusesWrongPasswordAndCleansUp) {
  std::filesystem::path root;
  std::filesystem::path pam_file;
  {
    FtpServer server(GetParam());
    root = server.root();
    pam_file = "/etc/pam.d/orvex-ftp-" + std::to_string(server.port());
    CommandResult refused =
        Curl("--list-only ftp://" + server.user() + ":wrong@127.0.0.1:" + std::to_string(server.port()) + "/");
    EXPECT_NE(refused.exit_code, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_FALSE(std::filesystem::exists(pam_file));
}

INSTANTIATE_TEST_SUITE_P(AllServers, FtpServerTest, ::testing::ValuesIn(AllServerKinds()),
                         ::orvex::testing::NameTestsByServer());

// Anonymous read access where the server offers it (pure-ftpd would need a
// system account named "ftp").
TEST(FtpServerAnonymousTest, ListsForAnonymousWhereOffered) {
  for (ServerKind kind : {ServerKind::Pyftpdlib, ServerKind::Vsftpd, ServerKind::Proftpd}) {
    SCOPED_TRACE(ServerKindName(kind));
    ORVEX_REQUIRE_SERVER(kind);
    FtpServerOptions options;
    options.allow_anonymous = true;
    FtpServer server(kind, options);
    server.WriteFile("public.txt", "hello");
    CommandResult listing = Curl("--list-only ftp://127.0.0.1:" + std::to_string(server.port()) + "/");
    EXPECT_EQ(listing.exit_code, 0) << listing.output << server.Log();
    EXPECT_EQ(Names(listing.output), Set({"public.txt"}));
  }
}

// An idle session is cut by the server after the configured time.
TEST(FtpServerIdleTest, IdleSessionIsClosed) {
  for (ServerKind kind : {ServerKind::Pyftpdlib, ServerKind::Vsftpd, ServerKind::Proftpd}) {
    SCOPED_TRACE(ServerKindName(kind));
    ORVEX_REQUIRE_SERVER(kind);
    FtpServerOptions options;
    options.idle_timeout = std::chrono::seconds(1);
    FtpServer server(kind, options);
    int control = ConnectLoopback(server.port(), std::chrono::seconds(2));
    ASSERT_GE(control, 0);
    std::string reply;
    ASSERT_TRUE(ReadReply(control, std::chrono::seconds(5), &reply));
    ASSERT_TRUE(SendAll(control, "USER " + server.user() + "\r\n"));
    ASSERT_TRUE(ReadReply(control, std::chrono::seconds(5), &reply));
    ASSERT_TRUE(SendAll(control, "PASS " + server.password() + "\r\n"));
    ASSERT_TRUE(ReadReply(control, std::chrono::seconds(5), &reply));
    ASSERT_EQ(reply.substr(0, 3), "230") << reply;
    // Whatever the server says on leaving (421 or nothing), the stream ends.
    const auto start = std::chrono::steady_clock::now();
    char buffer[512];
    ssize_t received;
    while (WaitReadable(control, std::chrono::seconds(6)) &&
           (received = ::recv(control, buffer, sizeof buffer, 0)) > 0) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ::close(control);
  }
}

TEST(PortBlockTest, BlocksNeverOverlap) {
  PortBlock first;
  PortBlock second;
  EXPECT_TRUE(second.first() > first.last() || second.last() < first.first());
  EXPECT_EQ(first.last() - first.first() + 1, PortBlock::kSize);
}

}  // namespace
}  // namespace orvex::testing
