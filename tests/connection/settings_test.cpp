// A connection's settings in the reference host's real SQLite store.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "connection/connection.h"
#include "tests/connection/host_fixture.h"

namespace orvex {
namespace {

constexpr char kSettingsKey[] = "Plugins\\FTP";

class ConnectionSettingsTest : public ::testing::Test {
 protected:
  com::ComPtr<Connection> NewConnection(const std::string& location) {
    auto connection = Connection::Create();
    connection->iPC_Init(host_.host().plugin_interface(), "1", location);
    return connection;
  }
  SettingsStore& store() { return host_.host().settings(); }

  testing_support::TemporaryHost host_;
};

TEST_F(ConnectionSettingsTest, ServerRootIsSchemeAndServer) {
  struct Case {
    const char* location;
    const char* root;
  };
  const Case cases[] = {
      {"ftp://server/pub/files", "ftp://server"}, {"ftp://server", "ftp://server"},
      {"ftp://server/", "ftp://server"},          {"ftp:\\\\server\\pub", "ftp://server"},
      {"ftp://[::1]:2121/a", "ftp://[::1]:2121"}, {"ftp:/", "ftp:/"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Connection::ServerRoot(c.location), c.root) << c.location;
}

TEST_F(ConnectionSettingsTest, NothingStoredLoadsDefaultsAndWritesTheTempCopySwitch) {
  auto connection = NewConnection("ftp://server/pub");
  EXPECT_EQ(connection->UserName(), "");
  EXPECT_EQ(connection->Password(), "");
  EXPECT_EQ(connection->Port(), "");
  EXPECT_FALSE(connection->Anonymous() || connection->UseProxy() || connection->ClearCacheOnConnect() ||
               connection->EnableAscii() || connection->SkipServUNavigationFolders());
  EXPECT_EQ(connection->AsciiExtensions()->Keys(),
            (std::vector<std::string>{"pl", "c", "cpp", "h", "txt", "cgi"}));
  EXPECT_TRUE(connection->UseTempCopy());
  store().OpenKey("");
  ASSERT_TRUE(store().ValueExists("Plugins\\FTP\\UseTempCopy"));
  EXPECT_EQ(store().ReadString("Plugins\\FTP\\UseTempCopy"), Variant(std::int16_t{1}));
}

TEST_F(ConnectionSettingsTest, StoredExtensionListsLoadAsCaseInsensitiveKeys) {
  struct Case {
    const char* stored;
    std::vector<std::string> keys;
  };
  const std::vector<Case> cases = {
      {"txt|TXT||log", {"txt", "log"}},
      {" pl |   |cgi", {" pl ", "cgi"}},
      {"", {"pl", "c", "cpp", "h", "txt", "cgi"}},
      {"md", {"md"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    store().OpenKey("");
    store().WriteValue("Plugins\\FTP\\AsciiExtensions", Variant(c.stored));
    auto connection = NewConnection("ftp://server");
    EXPECT_EQ(connection->AsciiExtensions()->Keys(), c.keys);
    EXPECT_EQ(connection->AsciiExtensions()->CompareMode(), script::CompareMode::Text);
  }
}

TEST_F(ConnectionSettingsTest, SavedValuesComeBackInStoredFormsAndSurviveAReopen) {
  auto connection = NewConnection("ftp://server/a");
  connection->UserName("anna");
  connection->Password("s3cret-Pässwörd-😀");
  connection->Port("2121");
  connection->Anonymous(true);
  connection->UseProxy(true);
  connection->ProxyName("proxy.local");
  connection->ProxyPort("1080");
  connection->ClearCacheOnConnect(true);
  connection->EnableAscii(true);
  connection->SkipServUNavigationFolders(true);
  connection->UseTempCopy(false);
  connection->AsciiExtensions()->Item("md", Variant(""));
  connection->SaveSettings(connection->iPC_Location());

  store().OpenKey(std::string(kSettingsKey) + "\\ftp://server");
  EXPECT_EQ(store().ReadString("Anonymous"), Variant(std::int16_t{1}));
  EXPECT_EQ(store().ReadString("AsciiEnabled"), Variant(std::int16_t{1}));
  EXPECT_EQ(store().ReadString("UserName"), Variant("anna"));
  std::string stored_password = store().ReadString("Password").ToString();
  EXPECT_EQ(stored_password.find("s3cret"), std::string::npos);
  EXPECT_GT(stored_password.size(), 78u);
  store().OpenKey("");
  EXPECT_EQ(store().ReadString("Plugins\\FTP\\AsciiExtensions"), Variant("pl|c|cpp|h|txt|cgi|md"));
  EXPECT_EQ(store().ReadString("Plugins\\FTP\\UseTempCopy"), Variant(std::int16_t{0}));

  // A second location on the same server shares the login; a new store on
  // the same file, as after a restart, reads it all back.
  testing_support::TemporaryHost unrelated;
  hostapp::ReferenceHostOptions options = host_.host().options();
  auto reopened = std::make_unique<hostapp::ReferenceHost>(options);
  auto second = Connection::Create();
  second->iPC_Init(reopened->plugin_interface(), "2", "ftp://server/b");
  EXPECT_EQ(second->UserName(), "anna");
  EXPECT_EQ(second->Password(), "s3cret-Pässwörd-😀");
  EXPECT_EQ(second->Port(), "2121");
  EXPECT_EQ(second->ProxyName(), "proxy.local");
  EXPECT_EQ(second->ProxyPort(), "1080");
  EXPECT_TRUE(second->Anonymous() && second->UseProxy() && second->ClearCacheOnConnect() &&
              second->EnableAscii() && second->SkipServUNavigationFolders());
  EXPECT_FALSE(second->UseTempCopy());
  EXPECT_TRUE(second->AsciiExtensions()->Exists("MD"));

  // Another server has its own key.
  auto other = Connection::Create();
  other->iPC_Init(reopened->plugin_interface(), "3", "ftp://elsewhere");
  EXPECT_EQ(other->UserName(), "");
}

TEST_F(ConnectionSettingsTest, PasswordIsStoredOnlyEncodedAndANewProcessReadsItBack) {
  const std::string password = "Plain-Text-Marker-4711";
  {
    auto connection = NewConnection("ftp://server/pub");
    connection->Password(password);
    connection->SaveSettings(connection->iPC_Location());
  }
  // No clear text anywhere in the database files (main file and journal).
  for (const auto& entry : std::filesystem::directory_iterator(host_.folder())) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find(password), std::string::npos) << entry.path();
  }

  auto options = host_.host().options();
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    hostapp::ReferenceHost host(options);
    auto connection = Connection::Create();
    connection->iPC_Init(host.plugin_interface(), "9", "ftp://server/other");
    ::_exit(connection->Password() == password ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(ConnectionSettingsTest, LoadingWithoutALocationReloadsOnlyPluginWideValues) {
  auto connection = NewConnection("ftp://server");
  connection->UserName("kept");
  connection->Password("kept too");
  store().OpenKey("");
  store().WriteValue("Plugins\\FTP\\AsciiExtensions", Variant("xml"));
  store().WriteValue("Plugins\\FTP\\UseTempCopy", Variant(std::int16_t{0}));
  connection->LoadSettings("");
  EXPECT_EQ(connection->UserName(), "kept");
  EXPECT_EQ(connection->Password(), "kept too");
  EXPECT_EQ(connection->AsciiExtensions()->Keys(), (std::vector<std::string>{"xml"}));
  EXPECT_FALSE(connection->UseTempCopy());
}

TEST_F(ConnectionSettingsTest, SavingWithoutALocationWritesOnlyPluginWideValuesAndAsciiEnabledAtTheRoot) {
  auto connection = NewConnection("ftp://server");
  connection->UserName("not saved");
  connection->EnableAscii(true);
  connection->SaveSettings("");
  store().OpenKey("");
  EXPECT_FALSE(store().ValueExists("Plugins\\FTP\\ftp://server\\UserName"));
  EXPECT_EQ(store().ReadString("AsciiEnabled"), Variant(std::int16_t{1}));
  EXPECT_TRUE(store().ValueExists("Plugins\\FTP\\AsciiExtensions"));
}

TEST_F(ConnectionSettingsTest, InitHandsTheNavigationFolderSwitchToTheSession) {
  store().OpenKey("Plugins\\FTP\\ftp://server");
  store().WriteValue("SkipServUNavigationFolders", Variant(std::int16_t{1}));
  store().OpenKey("");
  auto connection = NewConnection("ftp://server/x");
  EXPECT_TRUE(connection->SkipServUNavigationFolders());
}

}  // namespace
}  // namespace orvex
