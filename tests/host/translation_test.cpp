#include "host/app/translation_table.h"

#include <gtest/gtest.h>

#include <fstream>

#include "host/app/services.h"
#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace orvex::hostapp {
namespace {

TEST(FillPlaceholdersTest, SubstitutesOnceInOrder) {
  struct Case {
    const char* text;
    std::vector<std::string> parameters;
    const char* expected;
  } const cases[] = {
      {"Error getting files for: %1: %2", {"ftp://s\\pub", "550 No such file"},
       "Error getting files for: ftp://s\\pub: 550 No such file"},
      {"%2 before %1, %1 again", {"one", "two"}, "two before one, one again"},
      {"%1%2%3", {"a", "b", "c"}, "abc"},
      // Missing parameters become empty; an extra one is not used.
      {"[%1] [%2] [%3]", {"only"}, "[only] [] []"},
      {"plain", {"unused"}, "plain"},
      // A parameter is never searched for placeholders itself.
      {"%1 / %2", {"50%2 done", "x"}, "50%2 done / x"},
      {"%1", {"%1%1"}, "%1%1"},
      // Anything else with "%" stays.
      {"100% %4 %0 %% %", {"p"}, "100% %4 %0 %% %"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FillPlaceholders(c.text, c.parameters), c.expected);
  }
}

class TranslationFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& content) {
    auto file = folder_.path() / "table.txt";
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  testing::TempDir folder_{"orvex-translation"};
};

TEST_F(TranslationFileTest, TranslatesThenFillsPlaceholders) {
  const auto file = Write(
      "# German texts\n"
      "\n"
      "Connection to %1 failed: %2\tVerbindung zu %1 fehlgeschlagen: %2\r\n"
      "Line\\none\\ttab\\\\\tZeile\\nEins\\tTab\\\\\n"
      "Keep \\x as is\tBehalte \\x\n"
      "Twice\tfirst\n"
      "Twice\tsecond\n");
  auto services = ReferenceServices::Create("", TranslationTable::Load(file), false);

  EXPECT_EQ(services->Translate("Connection to %1 failed: %2", {"ftp://s", "timeout"}),
            "Verbindung zu ftp://s fehlgeschlagen: timeout");
  EXPECT_EQ(services->Translate("Line\none\ttab\\", {}), "Zeile\nEins\tTab\\");
  EXPECT_EQ(services->Translate("Keep \\x as is", {}), "Behalte \\x");
  EXPECT_EQ(services->Translate("Twice", {}), "second");
  // Not in the table: the text itself, placeholders still filled.
  EXPECT_EQ(services->Translate("Error getting file: %1: %2", {"a"}), "Error getting file: a: ");
  // Matching is exact.
  EXPECT_EQ(services->Translate("twice", {}), "twice");
}

TEST(MarkingEveryTextTest, MarksTheTextNotWhatFillsItsPlaceholders) {
  auto services = ReferenceServices::Create("", TranslationTable::MarkingEveryText(), false);
  EXPECT_EQ(services->Translate("Connect", {}), "\xC2\xAB" "Connect\xC2\xBB");
  EXPECT_EQ(services->Translate("Error getting file: %1: %2", {"a", "\xC2\xAB" "b\xC2\xBB"}),
            "\xC2\xAB" "Error getting file: a: \xC2\xAB" "b\xC2\xBB\xC2\xBB");
}

TEST_F(TranslationFileTest, ABrokenOrMissingTableIsReported) {
  const auto file = Write("Fine\tGut\nno tab on this line\n");
  try {
    TranslationTable::Load(file);
    ADD_FAILURE() << "a line without a TAB was accepted";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), error_number::kInvalidProcedureCall);
    EXPECT_NE(error.description().find("line 2"), std::string::npos) << error.description();
  }
  try {
    TranslationTable::Load(folder_.path() / "missing.txt");
    ADD_FAILURE() << "a missing table was accepted";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), error_number::kFileNotFound);
  }
}

}  // namespace
}  // namespace orvex::hostapp
