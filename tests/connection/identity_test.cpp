// A new Connection's descriptor, location handling and identity getters, as
// the host sees them right after creation and iPC_Init.

#include <gtest/gtest.h>

#include "connection/connection.h"
#include "dialogs/library_state.h"
#include "resources/version_info.h"
#include "tests/connection/host_fixture.h"

namespace orvex {
namespace {

class ConnectionIdentityTest : public ::testing::Test {
 protected:
  // Marks every translated text so that the test sees what went through
  // Translate.
  testing_support::TemporaryHost host_{"Connection properties\t<Verbindungseigenschaften>\n"};
  com::ComPtr<Connection> connection_ = Connection::Create();
  com::ComPtr<iPC> plugin_ = connection_.As<iPC>();
};

TEST_F(ConnectionIdentityTest, CreationFillsTheDescriptor) {
  auto info = plugin_->iPC_Properties();
  EXPECT_EQ(info->Description(), "File Transfer Protocol");
  EXPECT_EQ(info->Version(), "2.0 beta " + std::to_string(version::kRevision));
  EXPECT_EQ(info->LocationType(), "FTP");
  EXPECT_FALSE(info->Author().empty());
  EXPECT_FALSE(info->Company().empty());
  EXPECT_FALSE(info->WebAddress().empty());
  EXPECT_EQ(info->Number1(), 0);
  EXPECT_EQ(info->Number2(), 1024);
  EXPECT_EQ(info->Number3(), -1);
  EXPECT_EQ(info->Number4(), -1);
  ASSERT_TRUE(info->Icon() && info->LocationIcon() && info->Picture());
  EXPECT_EQ(info->Icon()->Width(), 16);
  EXPECT_EQ(info->LocationIcon()->Height(), 16);
  EXPECT_GT(info->Picture()->Width(), 16);
  EXPECT_EQ(info->Commands()->Count(), 0) << "the context command comes with iPC_Init";
  EXPECT_EQ(plugin_->iPC_Properties().get(), info.get()) << "the same descriptor every time";
  EXPECT_EQ(std::string(version::kApplicationTitle), "OrvexFTP");
}

TEST_F(ConnectionIdentityTest, GettersAnswerBeforeInit) {
  EXPECT_EQ(plugin_->iPC_Location(), "");
  EXPECT_EQ(plugin_->iPC_InitialLocation(), "");
  EXPECT_EQ(plugin_->iPC_LocationName(), "");
  EXPECT_FALSE(plugin_->iPC_PluginInterface());
  EXPECT_EQ(plugin_->iPC_Settings(), 141);
  EXPECT_FALSE(plugin_->iPC_Connected());
}

TEST_F(ConnectionIdentityTest, InitRegistersThePropertiesCommandAndStoresTheLocation) {
  plugin_->iPC_Init(host_.host().plugin_interface(), "42", "ftp:\\\\server\\dir\\");

  EXPECT_EQ(plugin_->iPC_InitialLocation(), "ftp://server/dir/");
  EXPECT_EQ(plugin_->iPC_Location(), "ftp://server/dir");
  EXPECT_EQ(plugin_->iPC_Properties()->ID(), "42");
  EXPECT_EQ(plugin_->iPC_Settings(), 141);
  EXPECT_FALSE(plugin_->iPC_Connected());
  EXPECT_EQ(plugin_->iPC_PluginInterface().get(), host_.host().plugin_interface().get());
  auto connection = plugin_.As<_Connection>();
  ASSERT_TRUE(connection);
  EXPECT_EQ(connection->Interface().get(), host_.host().plugin_interface()->Application().get());

  auto commands = plugin_->iPC_Properties()->Commands();
  ASSERT_EQ(commands->Count(), 1);
  auto command = commands->Item(1);
  EXPECT_EQ(command->ID(), 1);
  EXPECT_EQ(command->Flags(), 272);
  EXPECT_EQ(command->Caption(), "<Verbindungseigenschaften>");
  ASSERT_TRUE(command->Picture() && command->DisabledPicture());
  EXPECT_NE(command->Picture()->Bytes(), command->DisabledPicture()->Bytes());
}

TEST_F(ConnectionIdentityTest, CurrentLocationIsTheResolvedLocationWithoutTrailingSlashes) {
  // The reference host resolves by trimming blanks; every trailing "/" goes.
  plugin_->iPC_Init(host_.host().plugin_interface(), "1", "  ftp://server/pub///  ");
  EXPECT_EQ(plugin_->iPC_InitialLocation(), "  ftp://server/pub///  ");
  EXPECT_EQ(plugin_->iPC_Location(), "ftp://server/pub");
}

TEST_F(ConnectionIdentityTest, LocationNameIsTheLastComponentOrTheServer) {
  struct Case {
    const char* location;
    const char* name;
  };
  const Case cases[] = {
      {"ftp://server", "server"},
      {"ftp://server/", "server"},
      {"ftp://server/a/b", "b"},
      {"ftp:\\\\server\\pub\\files", "files"},
      {"ftp://[::1]:2121/pub", "pub"},
      {"ftp://", ""},
      {"ftp:/", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    auto connection = Connection::Create();
    connection->iPC_Init(host_.host().plugin_interface(), "1", c.location);
    EXPECT_EQ(connection->iPC_LocationName(), c.name);
  }
}

TEST_F(ConnectionIdentityTest, SettingThePluginInterfaceLeavesTheLibraryWideReference) {
  plugin_->iPC_Init(host_.host().plugin_interface(), "1", "ftp://server");
  testing_support::TemporaryHost other_host;
  plugin_->iPC_PluginInterface(other_host.host().plugin_interface());
  EXPECT_EQ(plugin_->iPC_PluginInterface().get(), other_host.host().plugin_interface().get());
  EXPECT_EQ(LibraryPluginInterface().get(), host_.host().plugin_interface().get());
  LibraryPluginInterface(nullptr);
}

TEST_F(ConnectionIdentityTest, ConnectionSettingsAreStoredValues) {
  auto connection = plugin_.As<_Connection>();
  connection->UserName("anna");
  connection->Port("2121");
  connection->Anonymous(true);
  connection->UseTempCopy(true);
  EXPECT_EQ(connection->UserName(), "anna");
  EXPECT_EQ(connection->Port(), "2121");
  EXPECT_TRUE(connection->Anonymous());
  EXPECT_TRUE(connection->UseTempCopy());
  EXPECT_FALSE(connection->UseProxy());
}

}  // namespace
}  // namespace orvex
