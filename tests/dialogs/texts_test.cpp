// Dialog texts: what the user reads, through the host's translation.

#include <QComboBox>
#include <QGroupBox>

#include "dialogs/dialog_texts.h"
#include "dialogs/forms.h"
#include "platform/error.h"
#include "tests/dialogs/dialog_fixture.h"

namespace orvex {
namespace {

using testing_support::DialogTest;
using testing_support::Find;

// Every visible text and tooltip of a dialog, keyed "control.property".
std::map<std::string, QString> VisibleTexts(QWidget& dialog) {
  std::map<std::string, QString> texts;
  texts[dialog.objectName().toStdString() + ".windowTitle"] = dialog.windowTitle();
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    const std::string name = child->objectName().toStdString();
    if (auto* frame = qobject_cast<QGroupBox*>(child)) texts[name + ".title"] = frame->title();
    if (qobject_cast<QLabel*>(child) || qobject_cast<QAbstractButton*>(child)) {
      texts[name + ".text"] = child->property("text").toString();
    }
    if (!child->toolTip().isEmpty()) texts[name + ".toolTip"] = child->toolTip();
  }
  return texts;
}

TEST_F(DialogTest, WithoutTranslationTheDialogsShowTheEnglishTexts) {
  dialogs::frmProperties properties;
  dialogs::frmOptions options;
  const std::map<std::string, QString> expected_properties = {
      {"frmProperties.windowTitle", "Connection Properties"},
      {"Frame1.title", "Connection properties"},
      {"Label1.text", "Example: ftp://ftp.example.org/downloads"},
      {"chkAnonymousLogin.text", "Anonymous login"},
      {"Label2.text", "User name:"},
      {"Label3.text", "Password:"},
      {"Label4.text", "Port:"},
      {"chkUseProxy.text", "Connect through proxy"},
      {"Label5.text", "Port:"},
      {"chkEnableAsciiMode.text", "Enable ASCII transfer mode"},
      {"chkEnableAsciiMode.toolTip", "ASCII Extensions can be set in the Options/Plugins/FTP tab"},
      {"chkClearCacheOnConnect.text", "Don't use directory cache"},
      {"chkClearCacheOnConnect.toolTip", "Enable this option if the remote location is changed from outside Orvex"},
      {"chkServU.text", "Skip Serv-U Server navigation folders"},
      {"chkServU.toolTip", "Enable this option to prevent infinite recursion on compare"},
      {"cmdOK.text", "Connect"},
      {"cmdCancel.text", "Cancel"},
      {"lblEncryption.text", "Encryption:"},
      {"cboEncryption.toolTip",
       "FTP over TLS: explicit TLS asks the server to encrypt (AUTH TLS) and refuses to go on without it; "
       "implicit TLS encrypts from the first byte (port 990)"},
  };
  const std::map<std::string, QString> expected_options = {
      {"frmOptions.windowTitle", "General settings"},
      {"Frame2.title", "General settings"},
      {"Label1.text", "ASCII transfer extensions"},
      {"cmdAddAsciiExtension.text", "+"},
      {"cmdDeleteAsciiExtension.text", "-"},
      {"chkTempCopy.text", "Use temporary file names on copy"},
      {"chkTempCopy.toolTip",
       "Creates files with temporary file names and renames them after completion. Prevents data loss but is "
       "slower."},
      {"cmdOK.text", "OK"},
      {"cmdCancel.text", "Cancel"},
  };
  EXPECT_EQ(VisibleTexts(properties), expected_properties);
  EXPECT_EQ(VisibleTexts(options), expected_options);
}

bool IsMarked(const QString& text) {
  return text.startsWith(QString::fromUtf8("\xC2\xAB")) && text.endsWith(QString::fromUtf8("\xC2\xBB"));
}

class MarkedTextsTest : public DialogTest {
 protected:
  MarkedTextsTest() : DialogTest(testing_support::MarkEveryText{}) {}
};

TEST_F(MarkedTextsTest, EveryTextIsTranslatedExceptTheConnectionPortLabel) {
  dialogs::frmProperties properties;
  dialogs::frmOptions options;
  // Not translated: the connection port label keeps its design text, the add
  // and delete buttons are symbols.
  const std::set<std::string> untranslated = {"Label4.text", "cmdAddAsciiExtension.text",
                                              "cmdDeleteAsciiExtension.text"};
  for (QWidget* dialog : {static_cast<QWidget*>(&properties), static_cast<QWidget*>(&options)}) {
    for (const auto& [where, text] : VisibleTexts(*dialog)) {
      if (untranslated.count(where)) continue;
      EXPECT_TRUE(IsMarked(text)) << where << ": " << text.toStdString();
    }
  }
  EXPECT_EQ(Find<QLabel>(properties, "Label4")->text(), "Port:");
  EXPECT_EQ(Find<QLabel>(properties, "Label5")->text().toStdString(), testing_support::Marked("Port:"));
  // The encryption choices are translated as well.
  auto* encryption = Find<QComboBox>(properties, "cboEncryption");
  ASSERT_EQ(encryption->count(), 3);
  for (int index = 0; index < encryption->count(); ++index) {
    EXPECT_TRUE(IsMarked(encryption->itemText(index))) << encryption->itemText(index).toStdString();
  }
}

TEST_F(DialogTest, SettingAMissingControlOrPropertyFailsLoudly) {
  dialogs::frmOptions options;
  struct Case {
    const char* control;
    const char* property;
    int number;
  };
  const Case cases[] = {
      {"txtNoSuchBox", "Caption", error_number::kObjectRequired},
      {"lstAsciiFiles", "Caption", 438},  // a list has no caption
      {"chkTempCopy", "Colour", 438},
  };
  for (const auto& c : cases) {
    try {
      dialogs::SetControlProperty(options, c.control, c.property, "x");
      ADD_FAILURE() << c.control << "." << c.property << " was accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), c.number) << c.control << "." << c.property;
    }
  }
}

}  // namespace
}  // namespace orvex
