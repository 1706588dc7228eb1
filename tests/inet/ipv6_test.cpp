// An FTP server reachable only over IPv6: the control connection, EPSV data
// connections to the IPv6 peer and EPRT active ones. The server is pyftpdlib
// listening on ::1 alone, so nothing can fall back to IPv4 unnoticed.

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "tests/inet/client_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/free_port.h"
#include "tests/support/ftp_server.h"
#include "tests/support/temp_dir.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::ChildProcess;
using ::orvex::testing::PortBlock;
using ::orvex::testing::ServerKind;
using ::orvex::testing::TempDir;
using namespace std::chrono_literals;

constexpr const char* kServerScript = R"(import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
port, first, last, root = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user("user", "secret", root, perm="elradfmw")
handler = FTPHandler
handler.authorizer = authorizer
handler.passive_ports = range(int(first), int(last) + 1)
FTPServer(("::1", int(port)), handler).serve_forever(timeout=0.2)
)";

TEST(Ipv6, ControlPassiveAndActiveConnections) {
  ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
  TempDir work("orvex-ipv6");
  const auto root = work.path() / "root";
  std::filesystem::create_directories(root);
  std::ofstream(root / "hello.txt") << "over IPv6";
  std::ofstream(work.path() / "server.py") << kServerScript;
  PortBlock ports;
  ChildProcess server;
  server.Start({"/usr/bin/python3", (work.path() / "server.py").string(),
                std::to_string(ports.first()), std::to_string(ports.second()),
                std::to_string(ports.last()), root.string()},
               work.path() / "server.log");

  const std::string address = "[::1]:" + std::to_string(ports.first());
  Client client;
  for (int attempt = 0; attempt < 100 && !client.Connect(address, 0, "user", "secret");
       ++attempt) {
    std::this_thread::sleep_for(100ms);  // until the server listens
  }
  ASSERT_NE(client.connection(), 0u) << client.error();
  EXPECT_EQ(ListFolder(client.connection(), "/"),
            (std::vector<Listed>{{"hello.txt", false, 9, 0, {}}}));
  std::string content;
  ASSERT_TRUE(Download(client.connection(), "/hello.txt", 0, content));
  EXPECT_EQ(content, "over IPv6");

  Client active;
  ASSERT_TRUE(active.Connect("::1", ports.first(), "user", "secret", /*passive=*/false))
      << active.error();
  ASSERT_TRUE(Upload(active.connection(), "/up.bin", 0, RandomBytes(100000, 4)))
      << GetLastError() << " " << LastResponse();
  std::ifstream uploaded(root / "up.bin", std::ios::binary);
  EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(uploaded), {}) ==
              RandomBytes(100000, 4));
}

}  // namespace
}  // namespace orvex::wininet::testing
