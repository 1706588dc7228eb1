#include "host/app/reference_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace orvex::hostapp {
namespace {

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream input(file);
  std::stringstream content;
  content << input.rdbuf();
  return content.str();
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(ReferenceHostTest, DefaultPlacesFollowTheXdgDirectories) {
  testing::TempDir folder("orvex-xdg");
  ScopedEnvironment config("XDG_CONFIG_HOME", (folder.path() / "config").string());
  ScopedEnvironment state("XDG_STATE_HOME", (folder.path() / "state").string());
  ReferenceHostOptions options;
  options.print_messages = false;
  ReferenceHost host(options);
  EXPECT_EQ(host.options().settings_file, folder.path() / "config" / "orvex" / "settings.sqlite3");
  EXPECT_EQ(host.options().log_file, folder.path() / "state" / "orvex" / "orvex.log");
  EXPECT_TRUE(std::filesystem::exists(host.options().settings_file));
  EXPECT_TRUE(std::filesystem::exists(host.options().log_file));

  // A relative value is not a base directory.
  ScopedEnvironment relative("XDG_CONFIG_HOME", "relative/config");
  ScopedEnvironment home("HOME", (folder.path() / "home").string());
  EXPECT_EQ(DefaultSettingsFile(), folder.path() / "home" / ".config" / "orvex" / "settings.sqlite3");
}

class ReferenceHostServicesTest : public ::testing::Test {
 protected:
  ReferenceHostOptions Options() const {
    ReferenceHostOptions options;
    options.settings_file = folder_.path() / "settings.sqlite3";
    options.log_file = folder_.path() / "log" / "orvex.log";
    options.print_messages = false;
    return options;
  }

  testing::TempDir folder_{"orvex-host"};
  ReferenceHost host_{Options()};
  com::ComPtr<PluginInterface> plugin_interface_ = host_.plugin_interface();
};

TEST_F(ReferenceHostServicesTest, ThePluginReachesTheSameObjectsTheHostHolds) {
  auto settings = plugin_interface_->Application()->Configuration()->Settings();
  settings->WriteValue("Plugins\\FTP\\UseTempCopy", Variant(std::int16_t{1}));
  host_.settings().OpenKey("plugins\\ftp");
  EXPECT_TRUE(host_.settings().ReadBoolean("UseTempCopy"));

  plugin_interface_->Services()->Log("logged", 4, "");
  EXPECT_EQ(host_.services().LogRecords().size(), 1u);

  EXPECT_EQ(plugin_interface_->ResolveLocation(" \tftp://server/pub/ \r\n"), "ftp://server/pub/");
  EXPECT_EQ(plugin_interface_->ResolveLocation("   "), "");
}

TEST_F(ReferenceHostServicesTest, LogEntriesAreRecordedAndWrittenOneLineEach) {
  auto services = plugin_interface_->Services();
  services->Log("FTP(1) Error getting files for: ftp://s\\pub: 550\r\nNo such file", 4, "");
  services->Log("second", 2, "with details");

  const auto records = host_.services().LogRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "FTP(1) Error getting files for: ftp://s\\pub: 550\r\nNo such file");
  EXPECT_EQ(records[0].type, 4);
  EXPECT_EQ(records[1].details, "with details");

  const std::string log = ReadFile(host_.options().log_file);
  std::istringstream lines(log);
  std::string first, second, extra;
  ASSERT_TRUE(std::getline(lines, first));
  ASSERT_TRUE(std::getline(lines, second));
  EXPECT_FALSE(std::getline(lines, extra)) << log;
  EXPECT_NE(first.find(" [4] FTP(1) Error getting files for: ftp://s\\pub: 550\\r\\nNo such file"),
            std::string::npos)
      << first;
  EXPECT_NE(second.find(" [2] second | with details"), std::string::npos) << second;
  // The line starts with the local date and time.
  EXPECT_EQ(first.size() > 24 ? first.substr(4, 1) + first.substr(10, 1) + first.substr(19, 1) : "", "- .");

  // A second host on the same file appends.
  {
    ReferenceHost again(host_.options());
    again.services().Log("third", 4, "");
  }
  EXPECT_NE(ReadFile(host_.options().log_file).find("] third"), std::string::npos);
}

TEST(ServicesTest, KeepsOnlyTheLatestLogRecordsInMemory) {
  auto services = ReferenceServices::Create("", TranslationTable(), false);
  const auto total = ReferenceServices::kKeptLogRecords + 3;
  for (std::size_t index = 0; index < total; ++index) services->Log(std::to_string(index), 4, "");
  const auto records = services->LogRecords();
  ASSERT_EQ(records.size(), ReferenceServices::kKeptLogRecords);
  EXPECT_EQ(records.front().text, "3");
  EXPECT_EQ(records.back().text, std::to_string(total - 1));
}

TEST_F(ReferenceHostServicesTest, MessageBoxesAreRecordedAndAnswered) {
  auto services = plugin_interface_->Services();
  EXPECT_EQ(services->MessageBox("Connection failed", 8192, "FTP", "", 0, nullptr, Variant()), 1);

  host_.services().SetMessageAnswer(2);
  EXPECT_EQ(services->MessageBox("second", 16384, "Properties", "", 0, nullptr, Variant()), 2);

  host_.services().SetMessageHandler([](const MessageRecord& message) { return message.flags == 8192 ? 6 : 7; });
  EXPECT_EQ(services->MessageBox("third", 8192, "FTP", "", 0, nullptr, Variant()), 6);
  host_.services().SetMessageHandler({});
  EXPECT_EQ(services->MessageBox("fourth", 0, "", "", 0, nullptr, Variant()), 2);

  const auto messages = host_.services().MessageBoxes();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].text, "Connection failed");
  EXPECT_EQ(messages[0].flags, 8192);
  EXPECT_EQ(messages[0].title, "FTP");
  EXPECT_EQ(messages[1].flags, 16384);
}

TEST_F(ReferenceHostServicesTest, IconIsASmallPicture) {
  auto icon = plugin_interface_->Services()->Icon();
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->Format(), "png");
  EXPECT_EQ(icon->Width(), 16);
  EXPECT_EQ(icon->Height(), 16);
}

}  // namespace
}  // namespace orvex::hostapp
