#include "tests/support/proxy_daemon.h"

#include <gtest/gtest.h>

#include "tests/support/ftp_server.h"
#include "tests/support/tests/run_command.h"

namespace orvex::testing {
namespace {

// curl reaches a real FTP server through each daemon, data connections
// included (curl tunnels them through the proxy as well).
TEST(ProxyDaemonTest, CarriesControlAndDataConnections) {
  struct Case {
    ProxyKind kind;
    const char* curl_option;
  };
  for (const Case& proxy_case : {Case{ProxyKind::Socks5, "--socks5 "},
                                 Case{ProxyKind::HttpConnect, "--proxytunnel --proxy http://"}}) {
    SCOPED_TRACE(ProxyKindName(proxy_case.kind));
    ORVEX_REQUIRE_PROXY(proxy_case.kind);
    ORVEX_REQUIRE_SERVER(ServerKind::Pyftpdlib);
    FtpServer server(ServerKind::Pyftpdlib);
    server.WriteFile("through.txt", "x");
    ProxyDaemon proxy(proxy_case.kind);
    // curl turns the listing's CRLF line ends into LF.
    CommandResult listing =
        Curl(std::string(proxy_case.curl_option) + proxy.address() + " --list-only " + server.url());
    EXPECT_EQ(listing.exit_code, 0) << listing.output << proxy.Log();
    EXPECT_EQ(listing.output, "through.txt\n");
    proxy.Stop();
    EXPECT_NE(Curl(std::string(proxy_case.curl_option) + proxy.address() + " --list-only " +
                   server.url()).exit_code, 0);
  }
}

}  // namespace
}  // namespace orvex::testing
