// The connect retry loop and a server certificate that is not trusted: the
// prompt shows it, Cancel ends the attempt, "Trust this certificate" pins and
// stores it and the next attempt connects.

#include <QLabel>

#include "connection/connection.h"
#include "dialogs/certificate_prompt.h"
#include "tests/dialogs/dialog_fixture.h"
#include "tests/support/ftp_server.h"
#include "tests/support/test_certificates.h"

namespace orvex {
namespace {

using testing_support::Click;
using testing_support::DialogTest;

bool ShowsText(QDialog& dialog, const std::string& text) {
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->text().remove('\n').contains(QString::fromStdString(text))) return true;
  }
  return false;
}

TEST_F(DialogTest, AnUntrustedCertificateIsShownAndTrustedOnlyWhenTheUserSaysSo) {
  ORVEX_REQUIRE_SERVER(::orvex::testing::ServerKind::Vsftpd);
  ::orvex::testing::FtpServerOptions options;
  options.tls = ::orvex::testing::ServerTls::Explicit;
  options.certificate = ::orvex::testing::Certificates().self_signed.certificate;
  options.key = ::orvex::testing::Certificates().self_signed.key;
  ::orvex::testing::FtpServer server(::orvex::testing::ServerKind::Vsftpd, options);
  const std::string fingerprint = ::orvex::testing::Certificates().self_signed.fingerprint;

  auto connection = Connection::Create();
  connection->iPC_Init(host_.host().plugin_interface(), "9",
                       "ftp://127.0.0.1:" + std::to_string(server.port()) + "/");
  connection->UserName(server.user());
  connection->Password(server.password());
  connection->Encryption(_ConnectionSecurity::kEncryptionExplicit);

  int prompts = 0;
  Answer([&](QDialog& dialog) {
    ++prompts;
    EXPECT_EQ(dialog.objectName(), "frmCertificate");
    EXPECT_TRUE(ShowsText(dialog, fingerprint));
    EXPECT_TRUE(ShowsText(dialog, "self-signed"));
    Click(dialog, "cmdCancel");
  });
  EXPECT_FALSE(connection->iPC_Connect(-1));
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(connection->CertificateFingerprint(), "");

  Answer([&](QDialog& dialog) {
    ++prompts;
    Click(dialog, "cmdTrust");
  });
  EXPECT_TRUE(connection->iPC_Connect(-1)) << connection->iPC_Properties()->LastError();
  EXPECT_EQ(prompts, 2);
  EXPECT_EQ(connection->CertificateFingerprint(), fingerprint);
  // Stored for the server: a new connection to it trusts the certificate.
  auto again = Connection::Create();
  again->iPC_Init(host_.host().plugin_interface(), "10", "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x");
  EXPECT_EQ(again->CertificateFingerprint(), fingerprint);
}

// Subject and issuer are the server's own words: markup in them is shown as
// typed, never rendered (a label left to guess would take "&lt;" or a known
// tag for rich text and let a certificate restyle or hide the prompt), and a
// bidirectional override is shown as an escape instead of reversing the text.
TEST_F(DialogTest, CertificateNamesAreShownAsPlainTextNeverAsMarkup) {
  dialogs::CertificateDetails details;
  details.server = "ftp.example.org";
  details.fingerprint = "SHA256:" + std::string(95, 'A');
  details.subject = "CN=&lt;b&gt;Your Bank&lt;/b&gt;";
  details.issuer = "O=<font size=7>Trusted Root</font> \u202eexe.pdf";
  details.valid_until = "2027-01-09 12:00:00 UTC";
  details.reason = "self-signed certificate";
  dialogs::frmCertificate dialog(details);
  int shown = 0;
  const std::string issuer_shown = "O=<font size=7>Trusted Root</font> \\u202eexe.pdf";
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    const std::string text = label->text().toStdString();
    EXPECT_EQ(text.find("\u202e"), std::string::npos) << text;  // the override itself never reaches the screen
    if (text != details.subject && text != issuer_shown) continue;
    ++shown;
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << text;
  }
  EXPECT_EQ(shown, 2);
}

}  // namespace
}  // namespace orvex
