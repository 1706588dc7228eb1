// orvex over FTPS against real servers: sync round trips over ftpes:// and
// ftps://, and trusting a certificate from the command line.
//
// Hostile cases of FTP over TLS, here and in tests/inet/tls_test.cpp and
// tls_truncation_test.cpp:
//  case                                      | untouched                         | exit
//  AUTH TLS refused (502, 534, 431, 334)     | the login: no USER/PASS sent      | 1
//  234, then clear text or no handshake      | the login: no USER/PASS sent      | 1
//  self-signed / other host / expired        | the login; report with fingerprint| 1
//  pinned certificate replaced               | the login; both fingerprints      | 1
//  trust --yes, certificate replaced         | the stored pin                    | 1
//  download cut without TLS shutdown, 226    | (the download fails)              | 1
//  --fingerprint junk, --cacert FIFO/folder  | nothing attempted                 | 2
//  certificate names with markup / override  | the prompt: plain text, escaped   | -
//    (tests/dialogs/certificate_prompt_test.cpp)

#include <sys/stat.h>

#include <cctype>
#include <filesystem>

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
  ASSERT_EQ(up.status, kSuccess) << up.out << up.err << server.Log();
  EXPECT_EQ(ReadTree(server.root()), tree);
  auto down = WithLogin(server, {"sync", Local("down").string(), url, "--down", "--cacert", ca});
  ASSERT_EQ(down.status, kSuccess) << down.out << down.err;
  EXPECT_EQ(ReadTree(Local("down")), tree);
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsSync,
                         ::testing::Values(TlsSyncCase{ServerKind::Pyftpdlib, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Vsftpd, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Vsftpd, ServerTls::Implicit},
                                           TlsSyncCase{ServerKind::PureFtpd, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Proftpd, ServerTls::Explicit},
                                           TlsSyncCase{ServerKind::Proftpd, ServerTls::Implicit}),
                         [](const auto& test) {
                           return ::orvex::testing::ServerTestName(test.param.kind) +
                                  (test.param.tls == ServerTls::Implicit ? "_implicit" : "_explicit");
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
  EXPECT_EQ(refused.status, kFailure);
  EXPECT_NE(refused.err.find(fingerprint), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("self-signed"), std::string::npos) << refused.err;

  // No terminal and no --yes: nothing is stored.
  auto unconfirmed = WithLogin(server, {"trust", url});
  EXPECT_EQ(unconfirmed.status, kUsage) << unconfirmed.out << unconfirmed.err;
  EXPECT_EQ(WithLogin(server, {"ls", url}).status, kFailure);

  auto trusted = WithLogin(server, {"trust", url, "--yes"});
  ASSERT_EQ(trusted.status, kSuccess) << trusted.out << trusted.err;
  EXPECT_NE(trusted.out.find(fingerprint), std::string::npos) << trusted.out;
  auto info = Orvex({"info", url});
  EXPECT_NE(info.out.find("Certificate:    " + fingerprint), std::string::npos) << info.out;

  auto listed = WithLogin(server, {"ls", url});
  EXPECT_EQ(listed.status, kSuccess) << listed.err;
  EXPECT_NE(listed.out.find("hello.txt"), std::string::npos) << listed.out;

  // Another certificate pinned for this run: refused, both fingerprints shown.
  const std::string other = Certificates().self_signed_other.fingerprint;
  auto mismatch = WithLogin(server, {"ls", url, "--fingerprint", other});
  EXPECT_EQ(mismatch.status, kFailure);
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
  for (std::uint32_t index = 0; index < 24; ++index) tree["f" + std::to_string(index)] = BinaryContent(20000, index);
  WriteTree(Local("up"), tree);

  auto up = WithLogin(server, {"sync", Local("up").string(), url, "--up", "--parallel", "4", "--fingerprint",
                               Certificates().self_signed.fingerprint});
  ASSERT_EQ(up.status, kSuccess) << up.out << up.err;
  EXPECT_EQ(up.err.find("warning"), std::string::npos) << up.err;
  EXPECT_EQ(ReadTree(server.root()), tree);
  // Each plug-in connection has two sessions: the first's and at least one
  // more connection's.
  EXPECT_GE(proxy.accepted_connections(), 4);

  // Without the pin no connection gets anywhere, the first included.
  auto refused = WithLogin(server, {"sync", Local("down").string(), url, "--down", "--parallel", "4"});
  EXPECT_EQ(refused.status, kFailure) << refused.out << refused.err;
  EXPECT_FALSE(std::filesystem::exists(Local("down") / "f0"));
}

// --yes lets a script trust a server's first certificate; a different one
// later is what an interception looks like, and is never trusted unseen.
TEST_F(CliTest, TrustWithYesNeverReplacesATrustedCertificate) {
  ORVEX_REQUIRE_SERVER(ServerKind::Vsftpd);
  const auto present = [this](const CertificateFiles& files) {
    std::filesystem::copy_file(files.certificate, Local("server.pem"),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(files.key, Local("server.key"), std::filesystem::copy_options::overwrite_existing);
  };
  present(Certificates().self_signed);
  FtpServerOptions options;
  options.tls = ServerTls::Explicit;
  options.certificate = Local("server.pem");
  options.key = Local("server.key");
  FtpServer server(ServerKind::Vsftpd, options);
  const std::string url = "ftpes://127.0.0.1:" + std::to_string(server.port()) + "/";
  const std::string trusted = Certificates().self_signed.fingerprint;
  const std::string other = Certificates().self_signed_other.fingerprint;
  ASSERT_EQ(WithLogin(server, {"trust", url, "--yes"}).status, kSuccess);

  present(Certificates().self_signed_other);
  server.Restart();
  auto replaced = WithLogin(server, {"trust", url, "--yes"});
  EXPECT_EQ(replaced.status, kFailure) << replaced.out << replaced.err;
  EXPECT_NE(replaced.err.find(trusted), std::string::npos) << replaced.err;
  EXPECT_NE(replaced.err.find(other), std::string::npos) << replaced.err;
  EXPECT_EQ(replaced.out.find("Stored"), std::string::npos) << replaced.out;
  const auto info = Orvex({"info", url});
  EXPECT_NE(info.out.find("Certificate:    " + trusted), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Encryption:     explicit TLS (AUTH TLS, required), from the URL (stored: none)"),
            std::string::npos)
      << info.out;
  EXPECT_EQ(WithLogin(server, {"ls", url}).status, kFailure);
}

// A pin or CA file that cannot be right is a wrong command line, found before
// anything is sent; a FIFO as the CA file would otherwise wait for ever.
TEST_F(CliTest, UnusableFingerprintsAndCaFilesAreWrongCommandLines) {
  ASSERT_EQ(::mkfifo(Local("ca.fifo").c_str(), 0600), 0);
  const std::string url = "ftpes://127.0.0.1:1/";
  const std::vector<std::vector<std::string>> cases = {
      {"--fingerprint", "SHA256:AB:CD"},
      {"--fingerprint", "SHA1:" + std::string(40, 'a')},
      {"--fingerprint", ""},
      {"--cacert", Local("ca.fifo").string()},
      {"--cacert", Local("").string()},
  };
  for (const auto& options : cases) {
    std::vector<std::string> arguments = {"ls", url, "--anonymous"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    auto result = Orvex(arguments);
    EXPECT_EQ(result.status, kUsage) << options[0] << " " << options[1] << ": " << result.err;
    EXPECT_NE(result.err.find(options[0]), std::string::npos) << result.err;
  }
  // Any accepted spelling of the right fingerprint still gets through to the
  // connection (here refused: nothing listens on port 1).
  std::string lower = Certificates().self_signed.fingerprint.substr(7);
  std::erase(lower, ':');
  for (char& character : lower) character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  EXPECT_EQ(Orvex({"ls", url, "--anonymous", "--fingerprint", lower}).status, kFailure);
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
    EXPECT_EQ(insecure.status, kSuccess) << insecure.err;
    EXPECT_NE(insecure.err.find("warning: --insecure"), std::string::npos) << insecure.err;
  }
  // Plain FTP to a server that requires TLS: the server's refusal, no TLS
  // attempted, no warning.
  auto plain = WithLogin(server, {"ls", url, "--insecure"});
  EXPECT_EQ(plain.status, kFailure);
  EXPECT_EQ(plain.err.find("warning"), std::string::npos) << plain.err;
  EXPECT_EQ(WithLogin(server, {"ls", "ftps://127.0.0.1:1/", "--tls"}).status, kUsage);
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
