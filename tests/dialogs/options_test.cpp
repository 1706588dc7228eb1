// The options dialog: the extension list's add and delete rules, confirmation
// and cancelling.

#include "dialogs/forms.h"
#include "tests/dialogs/dialog_fixture.h"

namespace orvex {
namespace {

using testing_support::Click;
using testing_support::DialogTest;
using testing_support::Find;
using testing_support::Type;

class OptionsTest : public DialogTest {
 protected:
  OptionsTest() {
    auto extensions = script::NewDictionary(script::CompareMode::Text);
    for (const char* key : {"txt", "pl", "c"}) extensions->Item(key, Variant(""));
    connection_->AsciiExtensions(extensions);
    connection_->UseTempCopy(true);
    dialog_.Initialze(plugin());
    dialog_.show();
  }
  QStringList Entries() {
    QStringList entries;
    auto* list = Find<QListWidget>(dialog_, "lstAsciiFiles");
    for (int row = 0; row < list->count(); ++row) entries << list->item(row)->text();
    return entries;
  }
  bool Enabled(const char* name) { return Find<QWidget>(dialog_, name)->isEnabled(); }
  void Select(const QString& entry) {
    auto* list = Find<QListWidget>(dialog_, "lstAsciiFiles");
    auto* item = list->findItems(entry, Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
  }
  std::vector<std::string> StoredKeys() { return connection_->AsciiExtensions()->Keys(); }

  dialogs::frmOptions dialog_;
};

TEST_F(OptionsTest, AddsTrimmedNewExtensionsAndIgnoresBlanksAndCaseDuplicates) {
  EXPECT_EQ(Entries(), (QStringList{"txt", "pl", "c"}));
  EXPECT_FALSE(Enabled("cmdAddAsciiExtension"));
  EXPECT_FALSE(Enabled("cmdDeleteAsciiExtension"));

  Type(dialog_, "txtAddAsciiExtension", "   ");
  EXPECT_FALSE(Enabled("cmdAddAsciiExtension"));

  Type(dialog_, "txtAddAsciiExtension", "  Log  ");
  EXPECT_TRUE(Enabled("cmdAddAsciiExtension"));
  Click(dialog_, "cmdAddAsciiExtension");
  EXPECT_EQ(Entries(), (QStringList{"txt", "pl", "c", "Log"}));
  EXPECT_EQ(Find<QLineEdit>(dialog_, "txtAddAsciiExtension")->text(), "");
  EXPECT_FALSE(Enabled("cmdAddAsciiExtension"));

  Type(dialog_, "txtAddAsciiExtension", "TXT");
  Click(dialog_, "cmdAddAsciiExtension");
  EXPECT_EQ(Entries(), (QStringList{"txt", "pl", "c", "Log"}));
  EXPECT_EQ(Find<QLineEdit>(dialog_, "txtAddAsciiExtension")->text(), "TXT");
}

TEST_F(OptionsTest, DeletesOnlyASelectedEntry) {
  Select("pl");
  EXPECT_TRUE(Enabled("cmdDeleteAsciiExtension"));
  Click(dialog_, "cmdDeleteAsciiExtension");
  EXPECT_EQ(Entries(), (QStringList{"txt", "c"}));
  // Nothing is selected now: a second press removes nothing.
  Click(dialog_, "cmdDeleteAsciiExtension");
  EXPECT_EQ(Entries(), (QStringList{"txt", "c"}));

  Click(dialog_, "cmdOK");
  EXPECT_FALSE(dialog_.Canceled());
  EXPECT_EQ(StoredKeys(), (std::vector<std::string>{"txt", "c"}));
}

TEST_F(OptionsTest, ConfirmingAnEmptyListStoresNoExtensionAndTheCopySwitch) {
  for (const char* entry : {"txt", "pl", "c"}) {
    Select(entry);
    Click(dialog_, "cmdDeleteAsciiExtension");
  }
  Click(dialog_, "chkTempCopy");
  Click(dialog_, "cmdOK");
  EXPECT_TRUE(StoredKeys().empty());
  EXPECT_FALSE(connection_->UseTempCopy());
}

TEST_F(OptionsTest, CancelAfterEditsChangesNothing) {
  Type(dialog_, "txtAddAsciiExtension", "md");
  Click(dialog_, "cmdAddAsciiExtension");
  Select("txt");
  Click(dialog_, "cmdDeleteAsciiExtension");
  Click(dialog_, "chkTempCopy");
  Click(dialog_, "cmdCancel");
  EXPECT_TRUE(dialog_.Canceled());
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(StoredKeys(), (std::vector<std::string>{"txt", "pl", "c"}));
  EXPECT_TRUE(connection_->UseTempCopy());
}

TEST_F(OptionsTest, TabVisitsTheControlsInTheirOrder) {
  const std::vector<std::string> order = {"cmdDeleteAsciiExtension", "cmdAddAsciiExtension", "txtAddAsciiExtension",
                                          "lstAsciiFiles",           "chkTempCopy",          "cmdCancel",
                                          "cmdOK"};
  EXPECT_EQ(testing_support::FocusOrder(dialog_, order), order);
}

}  // namespace
}  // namespace orvex
