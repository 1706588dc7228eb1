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

}  // namespace
}  // namespace orvex
