#include "host/app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace orvex::hostapp {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  com::ComPtr<DatabaseSettingsStore> Open() { return DatabaseSettingsStore::Create(file_); }

  testing::TempDir folder_{"orvex-settings"};
  std::filesystem::path file_ = folder_.path() / "nested" / "settings.sqlite3";
};

TEST_F(SettingsStoreTest, ValuesSurviveReopeningWithTheirTypes) {
  const std::vector<std::pair<std::string, Variant>> values = {
      {"Empty", Variant()},
      {"True", Variant(true)},
      {"False", Variant(false)},
      {"Integer", Variant(std::int16_t{-32768})},
      {"Long", Variant(std::int32_t{70000})},
      {"Double", Variant(-2.5e-300)},
      {"Date", Variant(Date(45000.75))},
      {"Text", Variant(std::string("Grüße\tand a NUL\0 inside", 24))},
      {"EmptyText", Variant(std::string())},
      // A number written as text stays text.
      {"NumberText", Variant("21")},
  };
  {
    auto store = Open();
    store->OpenKey("Plugins\\FTP\\ftp://server");
    for (const auto& [name, value] : values) store->WriteValue(name, value);
  }
  auto store = Open();
  store->OpenKey("Plugins\\FTP\\ftp://server");
  for (const auto& [name, value] : values) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(store->ValueExists(name));
    const Variant read = store->ReadString(name);
    EXPECT_EQ(read.type(), value.type());
    EXPECT_EQ(read, value);
  }
  EXPECT_FALSE(store->ValueExists("NeverWritten"));
  EXPECT_TRUE(store->ReadString("NeverWritten").IsEmpty());
}

TEST_F(SettingsStoreTest, ANewDatabaseIsReadableByItsOwnerOnly) {
  Open()->WriteValue("Password", Variant("encoded"));
  for (const auto& entry : std::filesystem::directory_iterator(file_.parent_path())) {
    auto permissions = entry.status().permissions();
    EXPECT_EQ(permissions & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none)
        << entry.path();
  }
}

TEST_F(SettingsStoreTest, RewritingAValueReplacesItsTypeToo) {
  auto store = Open();
  store->WriteValue("Port", Variant(std::int32_t{21}));
  store->WriteValue("PORT", Variant("2121"));
  EXPECT_EQ(store->ReadString("port"), Variant("2121"));
}

// Where a name lands: (key opened before writing, name written) must be
// readable as (key opened before reading, name read).
TEST_F(SettingsStoreTest, KeysPathsAndLetterCase) {
  struct Case {
    const char* write_key;
    const char* write_name;
    const char* read_key;
    const char* read_name;
    bool found;
  } const cases[] = {
      // A whole path while no key is open, read through the opened key.
      {"", "Plugins\\FTP\\UseTempCopy", "Plugins\\FTP", "UseTempCopy", true},
      // And the other way round.
      {"Plugins\\FTP\\ftp://server", "UserName", "", "Plugins\\FTP\\ftp://server\\UserName", true},
      // Letter case is ignored in keys and names, beyond ASCII as well.
      {"Plugins\\Ärger", "Größe", "plugins\\ärger", "gRÖße", true},
      // Empty components do not count.
      {"\\Plugins\\\\FTP\\", "AsciiExtensions", "Plugins\\FTP", "AsciiExtensions", true},
      // A plain name with no key open belongs to the root key.
      {"", "AsciiEnabled", "", "\\AsciiEnabled", true},
      {"", "AsciiEnabled", "Plugins\\FTP", "AsciiEnabled", false},
      // With a key open a name is taken literally, "\" and all.
      {"Plugins", "FTP\\Literal", "Plugins\\FTP", "Literal", false},
      {"Plugins", "FTP\\Literal", "Plugins", "FTP\\Literal", true},
      // A value in a key is not a value of its parent or of a sibling key.
      {"Plugins\\FTP", "Name", "Plugins", "Name", false},
      {"Plugins\\FTP", "Name", "Plugins\\FTP2", "Name", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.write_key) + " / " + c.write_name + " -> " + c.read_key + " / " + c.read_name);
    testing::TempDir folder("orvex-settings-case");
    auto store = DatabaseSettingsStore::Create(folder.path() / "settings.sqlite3");
    store->OpenKey(c.write_key);
    store->WriteValue(c.write_name, Variant("value"));
    store->OpenKey("");
    store->OpenKey(c.read_key);
    EXPECT_EQ(store->ValueExists(c.read_name), c.found);
    EXPECT_EQ(store->ReadString(c.read_name), c.found ? Variant("value") : Variant());
  }
}

TEST_F(SettingsStoreTest, ReadBooleanReadsNumbersAndTexts) {
  const std::vector<std::pair<Variant, bool>> cases = {
      {Variant(std::int16_t{1}), true},  {Variant(std::int16_t{0}), false},
      {Variant(std::int32_t{-1}), true}, {Variant(0.25), true},
      {Variant(true), true},             {Variant(false), false},
      {Variant("True"), true},           {Variant("false"), false},
      {Variant("1"), true},              {Variant("0"), false},
      {Variant("yes please"), false},    {Variant(""), false},
      {Variant(), false},
  };
  auto store = Open();
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value.IsEmpty() ? std::string("(empty)") : value.ToString());
    store->WriteValue("Flag", value);
    EXPECT_EQ(store->ReadBoolean("Flag"), expected);
  }
  EXPECT_FALSE(store->ReadBoolean("NeverWritten"));
}

TEST_F(SettingsStoreTest, RefusesValuesItCannotStoreAndFilesItCannotOpen) {
  auto store = Open();
  store->WriteValue("Kept", Variant("old"));
  for (const Variant& value : {Variant(Variant::Array{Variant(1.0)}), Variant(Variant::ObjectReference(store))}) {
    try {
      store->WriteValue("Kept", value);
      ADD_FAILURE() << "an array or an object was stored";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), error_number::kTypeMismatch);
    }
  }
  EXPECT_EQ(store->ReadString("Kept"), Variant("old"));

  // A folder in the way of the database file.
  const auto blocked = folder_.path() / "blocked";
  std::ofstream(blocked) << "a file, not a folder";
  try {
    DatabaseSettingsStore::Create(blocked / "settings.sqlite3");
    ADD_FAILURE() << "a database was opened below a plain file";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), error_number::kAutomationError);
    EXPECT_NE(error.description().find(blocked.string()), std::string::npos) << error.description();
  }
}

// Two processes writing at the same moment, each with its own store on the
// same file: every value of both must be there afterwards.
TEST_F(SettingsStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 150;
  Open();  // the file exists before the writers race
  std::vector<pid_t> children;
  for (int process = 0; process < 2; ++process) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int status = 0;
      try {
        auto store = DatabaseSettingsStore::Create(file_);
        for (int index = 0; index < kValues; ++index) {
          store->OpenKey("Writer" + std::to_string(process));
          store->WriteValue("Value" + std::to_string(index), Variant(std::int32_t{index}));
          // Both processes also fight over one shared value.
          store->OpenKey("");
          store->WriteValue("Shared\\Last", Variant(std::int32_t{process}));
        }
      } catch (...) {
        status = 1;
      }
      _exit(status);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
  auto store = Open();
  for (int process = 0; process < 2; ++process) {
    store->OpenKey("Writer" + std::to_string(process));
    for (int index = 0; index < kValues; ++index) {
      EXPECT_EQ(store->ReadString("Value" + std::to_string(index)), Variant(std::int32_t{index}))
          << "process " << process << ", value " << index;
    }
  }
  store->OpenKey("");
  const Variant last = store->ReadString("Shared\\Last");
  EXPECT_TRUE(last == Variant(std::int32_t{0}) || last == Variant(std::int32_t{1}));
}

}  // namespace
}  // namespace orvex::hostapp
