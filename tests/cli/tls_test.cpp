// orvex over FTPS against real servers: sync round trips over ftpes:// and
// ftps://, and trusting a certificate from the command line.

#include "host/cli/remote_url.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/test_certificates.h"

namespace orvex::testing {
namespace {

struct TlsSyncCase {
  ServerKind kind;
  ServerTls tls;
};

class TlsSync : public CliTest, public ::testing::WithParamInterface<TlsSyncCase> {};

// vsftpd and proftpd refuse data connections that do not resume the control
// connection's TLS session; a sync opens many.
TEST_P(TlsSync, UpThenDownLeavesIdenticalTrees) {
  ORVEX_REQUIRE_SERVER(GetParam().kind);
  FtpServerOptions options;
  options.tls = GetParam().tls;
  FtpServer server(GetParam().kind, options);
  const std::string url = (GetParam().tls == ServerTls::Implicit ? "ftps://" : "ftpes://") +
                          std::string("127.0.0.1:") + std::to_string(server.port()) + "/";
  const std::string ca = Certificates().ca.certificate.string();
  const Tree tree = SampleTree();
  WriteTree(Local("up"), tree);

  auto up = WithLogin(server, {"sync", Local("up").string(), url, "--up", "--cacert", ca});
  ASSERT_EQ(up.status, 0) << up.out << up.err << server.Log();
  EXPECT_EQ(ReadTree(server.root()), tree);
  auto down = WithLogin(server, {"sync", Local("down").string(), url, "--down", "--cacert", ca});
  ASSERT_EQ(down.status, 0) << down.out << down.err;
  EXPECT_EQ(ReadTree(Local("down")), tree);
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsSync,
                         ::testing::Values(TlsSyncCase{ServerKind::Pyftpdlib, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Vsftpd, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Vsftpd, ServerTls::Implicit},
                                           TlsSyncCase{ServerKind::PureFtpd, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Proftpd, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Proftpd, ServerTls::Implicit}),
                         [](const auto& info) {
                           std::string name = ServerKindName(info.param.kind);
                           std::erase(name, '-');
                           return name + (info.param.tls == ServerTls::Implicit ? "_implicit" : "_explicit");
                         });

TEST_F(CliTest, ASelfSignedCertificateIsRefusedUntilTrusted) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  options.certificate = Certificates().self_signed.certificate;
  options.key = Certificates().self_signed.key;
  FtpServer server(ServerKind::Vsftpd, options);
  server.WriteFile("hello.txt", "hello");
  const std::string url = "ftpes://127.0.0.1:" + std::to_string(server.port()) + "/";
  const std::string fingerprint = Certificates().self_signed.fingerprint;

  auto refused = WithLogin(server, {"ls", url});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find(fingerprint), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("self-signed"), std::string::npos) << refused.err;

  // No terminal and no --yes: nothing is stored.
  auto unconfirmed = WithLogin(server, {"trust", url});
  EXPECT_EQ(unconfirmed.status, 2) << unconfirmed.out << unconfirmed.err;
  EXPECT_EQ(WithLogin(server, {"ls", url}).status, 1);

  auto trusted = WithLogin(server, {"trust", url, "--yes"});
  ASSERT_EQ(trusted.status, 0) << trusted.out << trusted.err;
  EXPECT_NE(trusted.out.find(fingerprint), std::string::npos) << trusted.out;
  auto info = Orvex({"info", url});
  EXPECT_NE(info.out.find("Certificate:    " + fingerprint), std::string::npos) << info.out;

  auto listed = WithLogin(server, {"ls", url});
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("hello.txt"), std::string::npos) << listed.out;

  // Another certificate pinned for this run: refused, both fingerprints shown.
  const std::string other = Certificates().self_signed_other.fingerprint;
  auto mismatch = WithLogin(server, {"ls", url, "--fingerprint", other});
  EXPECT_EQ(mismatch.status, 1);
  EXPECT_NE(mismatch.err.find(fingerprint), std::string::npos) << mismatch.err;
  EXPECT_NE(mismatch.err.find(other), std::string::npos) << mismatch.err;
}

// Every connection of a parallel sync is set up as the first: over TLS with
// the certificate pinned for this run. A self-signed certificate is refused
// by any connection that lacks the pin, which would show as a warning and as
// fewer connections; through the proxy, the connections are counted.
TEST_F(CliTest, EveryConnectionOfAParallelSyncChecksTheCertificateAsTheFirst) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  options.certificate = Certificates().self_signed.certificate;
  options.key = Certificates().self_signed.key;
  FtpServer server(ServerKind::Vsftpd, options);
  FaultProxy proxy(server.host(), server.port());
  const std::string url = "ftpes://127.0.0.1:" + std::to_string(proxy.port()) + "/";
  Tree tree;
  for (int index = 0; index < 24; ++index) tree["f" + std::to_string(index)] = BinaryContent(20000, index);
  WriteTree(Local("up"), tree);

  auto up = WithLogin(server, {"sync", Local("up").string(), url, "--up", "--parallel", "4", "--fingerprint",
                               Certificates().self_signed.fingerprint});
  ASSERT_EQ(up.status, 0) << up.out << up.err;
  EXPECT_EQ(up.err.find("warning"), std::string::npos) << up.err;
  EXPECT_EQ(ReadTree(server.root()), tree);
  // Each plug-in connection has two sessions: the first's and at least one
  // more connection's.
  EXPECT_GE(proxy.accepted_connections(), 4);

  // Without the pin no connection gets anywhere, the first included.
  auto refused = WithLogin(server, {"sync", Local("down").string(), url, "--down", "--parallel", "4"});
  EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
  EXPECT_FALSE(std::filesystem::exists(Local("down") / "f0"));
}

TEST_F(CliTest, InsecureWarnsOnEveryRunAndTlsOptionsLeavePlainFtpAlone) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  options.certificate = Certificates().self_signed.certificate;
  options.key = Certificates().self_signed.key;
  FtpServer server(ServerKind::Vsftpd, options);
  const std::string url = "ftp://127.0.0.1:" + std::to_string(server.port()) + "/";
  for (int run = 0; run < 2; ++run) {
    auto insecure = WithLogin(server, {"ls", url, "--tls", "--insecure"});
    EXPECT_EQ(insecure.status, 0) << insecure.err;
    EXPECT_NE(insecure.err.find("warning: --insecure"), std::string::npos) << insecure.err;
  }
  // Plain FTP to a server that requires TLS: the server's refusal, no TLS
  // attempted, no warning.
  auto plain = WithLogin(server, {"ls", url, "--insecure"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.err.find("warning"), std::string::npos) << plain.err;
  EXPECT_EQ(WithLogin(server, {"ls", "ftps://127.0.0.1:1/", "--tls"}).status, 2);
}

TEST(TlsUrls, SchemesChooseTheEncryptionAndKeepThePluginsLocation) {
  struct Case {
    const char* text;
    cli::UrlEncryption encryption;
    const char* location;
  } cases[] = {
      {"ftp://example.org/pub", cli::UrlEncryption::Stored, "ftp://example.org/pub"},
      {"ftpes://example.org/pub", cli::UrlEncryption::Explicit, "ftp://example.org/pub"},
      {"FTPS://example.org:2990/", cli::UrlEncryption::Implicit, "ftp://example.org:2990"},
  };
  for (const auto& test : cases) {
    std::string error;
    const auto url = cli::ParseRemoteUrl(test.text, error);
    ASSERT_TRUE(url) << test.text << ": " << error;
    EXPECT_EQ(url->encryption, test.encryption) << test.text;
    EXPECT_EQ(url->Location(), test.location);
  }
  std::string error;
  EXPECT_FALSE(cli::ParseRemoteUrl("sftp://example.org/", error));
}

}  // namespace
}  // namespace orvex::testing
