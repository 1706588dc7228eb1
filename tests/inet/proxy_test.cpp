// Control and data connections through real proxy daemons: a SOCKS5 proxy
// (microsocks) and an HTTP proxy's CONNECT tunnel (tinyproxy).

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

#include "tests/inet/client_fixture.h"
#include "tests/support/ftp_server.h"
#include "tests/support/proxy_daemon.h"

namespace orvex::wininet::testing {
namespace {

using ::orvex::testing::FtpServer;
using ::orvex::testing::ProxyDaemon;
using ::orvex::testing::ProxyKind;
using ::orvex::testing::ServerKind;

struct ProxyCase {
  ProxyKind kind;
  const char* prefix;  // how the proxy text names the kind
};

void PrintTo(const ProxyCase& test, std::ostream* out) {
  *out << '"' << test.prefix << "\" " << ::orvex::testing::ProxyKindName(test.kind);
}

class ThroughProxy : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ThroughProxy, ListsAndTransfersBothWays) {
  ORVEX_REQUIRE_PROXY(GetParam().kind);
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  ProxyDaemon proxy(GetParam().kind);
  FtpServer server(ServerKind::Vsftpd);
  server.WriteFile("docs/readme.txt", "through the proxy");

  Client client;
  // Active mode is asked for; through a proxy the data connections are
  // passive anyway.
  for (const bool passive : {true, false}) {
    ASSERT_TRUE(client.Connect(server.host(), server.port(), server.user(),
                               server.password(), passive,
                               GetParam().prefix + proxy.address()))
        << client.error() << " " << LastResponse() << "\n" << proxy.Log();
    EXPECT_EQ(ListFolder(client.connection(), "/docs"),
              (std::vector<Listed>{{"readme.txt", false, 17, 0, {}}}));
    std::string content;
    ASSERT_TRUE(Download(client.connection(), "/docs/readme.txt", 0, content));
    EXPECT_EQ(content, "through the proxy");
    const std::string upload = RandomBytes(2 * 1024 * 1024 + 5, 11);
    ASSERT_TRUE(Upload(client.connection(), "/up.bin", 0, upload));
    ASSERT_TRUE(Download(client.connection(), "/up.bin", 0, content));
    EXPECT_TRUE(content == upload);
  }

  // A proxy that is not there.
  proxy.Stop();
  EXPECT_FALSE(client.Connect(server.host(), server.port(), server.user(),
                              server.password(), true,
                              GetParam().prefix + proxy.address()));
  EXPECT_EQ(client.error(), ERROR_INTERNET_CANNOT_CONNECT);
}

INSTANTIATE_TEST_SUITE_P(Proxies, ThroughProxy,
                         ::testing::Values(ProxyCase{ProxyKind::Socks5, "socks="},
                                           ProxyCase{ProxyKind::Socks5, "socks5://"},
                                           ProxyCase{ProxyKind::HttpConnect, ""}),
                         [](const auto& test) {
                           return std::string(test.param.kind == ProxyKind::Socks5
                                                  ? "socks5"
                                                  : "http_connect") +
                                  (std::string(test.param.prefix) == "socks=" ? "_short"
                                                                              : "");
                         });

}  // namespace
}  // namespace orvex::wininet::testing
