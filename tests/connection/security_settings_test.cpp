// FTP over TLS settings of a connection: stored beside the other per-server
// values, absent for every server that never chose TLS.

#include <gtest/gtest.h>

#include "connection/connection.h"
#include "platform/error.h"
#include "tests/connection/host_fixture.h"

namespace orvex {
namespace {

constexpr char kServerKey[] = "Plugins\\FTP\\ftp://server";

class SecuritySettingsTest : public ::testing::Test {
 protected:
  com::ComPtr<Connection> NewConnection(const std::string& location) {
    auto connection = Connection::Create();
    connection->iPC_Init(host_.host().plugin_interface(), "1", location);
    return connection;
  }
  SettingsStore& store() { return host_.host().settings(); }
  bool Stored(const char* name) {
    store().OpenKey(kServerKey);
    const bool exists = store().ValueExists(name);
    store().OpenKey("");
    return exists;
  }

  testing_support::TemporaryHost host_;
};

TEST_F(SecuritySettingsTest, AServerThatNeverChoseTlsStoresNothingNewAndStaysPlain) {
  auto connection = NewConnection("ftp://server/pub");
  EXPECT_EQ(connection->Encryption(), _ConnectionSecurity::kEncryptionNone);
  EXPECT_EQ(connection->CertificateFingerprint(), "");
  EXPECT_TRUE(connection->VerifyCertificates());
  connection->UserName("alice");
  connection->SaveSettings("ftp://server/pub");
  EXPECT_FALSE(Stored("Encryption"));
  EXPECT_FALSE(Stored("CertificateFingerprint"));
}

TEST_F(SecuritySettingsTest, ModeAndPinComeBackAndSwitchingOffIsStoredToo) {
  auto connection = NewConnection("ftp://server/a");
  connection->Encryption(_ConnectionSecurity::kEncryptionImplicit);
  connection->SaveSettings("ftp://server/a");
  connection->TrustCertificate("sha256:" + std::string(64, 'b'));
  connection->CertificateAuthorityFile("/etc/ssl/extra.pem");  // this object only
  connection->VerifyCertificates(false);

  auto reloaded = NewConnection("ftp://server/b");  // same server, other folder
  EXPECT_EQ(reloaded->Encryption(), _ConnectionSecurity::kEncryptionImplicit);
  std::string expected = "SHA256:BB";
  for (int pair = 1; pair < 32; ++pair) expected += ":BB";
  EXPECT_EQ(reloaded->CertificateFingerprint(), expected);
  EXPECT_EQ(reloaded->CertificateAuthorityFile(), "");
  EXPECT_TRUE(reloaded->VerifyCertificates());

  reloaded->Encryption(_ConnectionSecurity::kEncryptionNone);
  reloaded->SaveSettings("ftp://server/b");
  EXPECT_EQ(NewConnection("ftp://server")->Encryption(), _ConnectionSecurity::kEncryptionNone);
}

TEST_F(SecuritySettingsTest, BadValuesAreRefusedAndAnUnknownStoredModeIsNeverPlain) {
  auto connection = NewConnection("ftp://server");
  EXPECT_THROW(connection->Encryption(3), Error);
  EXPECT_THROW(connection->TrustCertificate("SHA256:not a fingerprint"), Error);
  EXPECT_EQ(connection->CertificateFingerprint(), "");
  store().OpenKey(kServerKey);
  store().WriteValue("Encryption", Variant(std::int16_t{7}));
  store().OpenKey("");
  EXPECT_EQ(NewConnection("ftp://server")->Encryption(), _ConnectionSecurity::kEncryptionExplicit);
}

// The properties dialog saves under the URL it was given, which may name
// another server: a trusted certificate stays with the server it was trusted
// for, and that server's own pin is neither overwritten nor erased.
TEST_F(SecuritySettingsTest, ATrustedCertificateStaysWithTheServerItWasTrustedFor) {
  const auto pin = [](const char* pair) {
    std::string text = std::string("SHA256:") + pair;
    for (int index = 1; index < 32; ++index) text += std::string(":") + pair;
    return text;
  };
  NewConnection("ftp://server-b/y")->TrustCertificate(pin("BB"));
  auto first = NewConnection("ftp://server-a/x");
  first->TrustCertificate(pin("AA"));

  first->SaveSettings("ftp://server-b/z");
  EXPECT_EQ(NewConnection("ftp://server-b")->CertificateFingerprint(), pin("BB"));
  EXPECT_EQ(first->CertificateFingerprint(), pin("BB"));  // the one its next connect checks
  EXPECT_EQ(NewConnection("ftp://server-a")->CertificateFingerprint(), pin("AA"));

  // A new location, nothing loaded yet, saved under a server with a pin.
  auto fresh = NewConnection("");
  fresh->SaveSettings("ftp://SERVER-B/new");
  EXPECT_EQ(NewConnection("ftp://server-b")->CertificateFingerprint(), pin("BB"));
  EXPECT_EQ(fresh->CertificateFingerprint(), pin("BB"));

  // The API's own value: any accepted form, kept canonical; junk refused.
  first->CertificateFingerprint("sha256:" + std::string(64, 'c'));
  EXPECT_EQ(first->CertificateFingerprint(), pin("CC"));
  EXPECT_THROW(first->CertificateFingerprint("SHA256:CC"), Error);
  EXPECT_EQ(first->CertificateFingerprint(), pin("CC"));
}

}  // namespace
}  // namespace orvex
