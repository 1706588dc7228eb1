// The connection properties dialog: filling, the enabling rule, validation,
// confirmation and cancelling.

#include <QComboBox>
#include <QStyle>

#include "dialogs/forms.h"
#include "tests/dialogs/dialog_fixture.h"

namespace orvex {
namespace {

using testing_support::Click;
using testing_support::DialogTest;
using testing_support::Find;
using testing_support::Type;

class PropertiesTest : public DialogTest {
 protected:
  PropertiesTest() {
    connection_->UserName("alice");
    connection_->Password("old secret");
    connection_->Port("21");
    connection_->ProxyName("proxy.example");
    connection_->ProxyPort("1080");
    connection_->ClearCacheOnConnect(true);
    dialog_.Initialze(plugin());
    dialog_.show();
  }
  QCheckBox* Box(const char* name) { return Find<QCheckBox>(dialog_, name); }
  QLineEdit* Line(const char* name) { return Find<QLineEdit>(dialog_, name); }

  dialogs::frmProperties dialog_;
};

TEST_F(PropertiesTest, ShowsTheConnectionAndWritesEveryFieldBackOnConfirmation) {
  EXPECT_EQ(Line("txtPath")->text(), "ftp://server.example/pub");
  EXPECT_EQ(Line("txtUserName")->text(), "alice");
  EXPECT_EQ(Line("txtPassword")->text(), "old secret");
  EXPECT_EQ(Line("txtProxyName")->text(), "proxy.example");
  EXPECT_TRUE(Box("chkClearCacheOnConnect")->isChecked());
  EXPECT_FALSE(Box("chkUseProxy")->isChecked());

  Type(dialog_, "txtPath", "ftp://other.example/in");
  Type(dialog_, "txtUserName", "bob");
  Type(dialog_, "txtPassword", "p\xC3\xA4ss w0rd");
  Type(dialog_, "txtConnectionPort", "2121");
  Click(dialog_, "chkUseProxy");
  Type(dialog_, "txtProxyPort", "3128");
  Click(dialog_, "chkClearCacheOnConnect");
  Click(dialog_, "chkEnableAsciiMode");
  Box("chkServU")->setCheckState(Qt::PartiallyChecked);  // greyed counts as set
  Click(dialog_, "cmdOK");

  EXPECT_FALSE(dialog_.Canceled());
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.Location(), "ftp://other.example/in");
  EXPECT_EQ(connection_->UserName(), "bob");
  EXPECT_EQ(connection_->Password(), "p\xC3\xA4ss w0rd");
  EXPECT_EQ(connection_->Port(), "2121");
  EXPECT_TRUE(connection_->UseProxy());
  EXPECT_EQ(connection_->ProxyName(), "proxy.example");
  EXPECT_EQ(connection_->ProxyPort(), "3128");
  EXPECT_FALSE(connection_->ClearCacheOnConnect());
  EXPECT_TRUE(connection_->EnableAscii());
  EXPECT_TRUE(connection_->SkipServUNavigationFolders());
  EXPECT_FALSE(connection_->Anonymous());
  EXPECT_EQ(connection_->iPC_Location(), "ftp://server.example/pub");  // the caller decides
}

TEST_F(PropertiesTest, PasswordCharactersShowAsDegreeSigns) {
  auto* password = Line("txtPassword");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password), 0x00B0);
}

TEST_F(PropertiesTest, InvalidFieldsShowTheirMessageKeepFocusAndWriteNothing) {
  struct Case {
    const char* path;
    const char* port;
    const char* proxy_port;
    const char* message;  // nullptr: accepted
    const char* focus;
  };
  const Case cases[] = {
      {"ftp://", "", "", "Please specify a valid URL.", "txtPath"},
      {"server.example/pub", "", "", "Please specify a valid URL.", "txtPath"},
      {"ftp://s", "port", "", "The connection port must be numeric.", "txtConnectionPort"},
      {"ftp://s", "21", "x1", "The proxy port must be numeric.", "txtProxyPort"},
      {"ftp://s", "abc", "xyz", "The connection port must be numeric.", "txtConnectionPort"},
      {"FTP://S", "", "", nullptr, nullptr},
      {"ftp://s", " 2.1e1 ", "-5", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " | " + c.port + " | " + c.proxy_port);
    dialogs::frmProperties dialog;
    dialog.Initialze(plugin());
    dialog.show();
    services().ClearRecords();
    Type(dialog, "txtPath", c.path);
    Type(dialog, "txtUserName", "someone else");
    Type(dialog, "txtConnectionPort", c.port);
    Click(dialog, "chkUseProxy");
    Type(dialog, "txtProxyPort", c.proxy_port);
    Click(dialog, "cmdOK");

    const auto messages = services().MessageBoxes();
    if (!c.message) {
      EXPECT_TRUE(messages.empty());
      EXPECT_FALSE(dialog.Canceled());
      connection_->UserName("alice");
      continue;
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, c.message);
    EXPECT_EQ(messages[0].flags, 16384);
    EXPECT_EQ(messages[0].title, "Connection Properties");
    EXPECT_EQ(dialog.focusWidget(), Find<QWidget>(dialog, c.focus));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.Canceled());
    EXPECT_EQ(dialog.Location(), "");
    EXPECT_EQ(connection_->UserName(), "alice");
  }
}

TEST_F(PropertiesTest, LoginAndProxyFieldsFollowTheirCheckBoxesAndDisabledTextsStillCount) {
  auto enabled = [&] {
    return std::vector<bool>{Line("txtUserName")->isEnabled(), Line("txtPassword")->isEnabled(),
                             Line("txtProxyName")->isEnabled(), Line("txtProxyPort")->isEnabled()};
  };
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, false, false}));
  Click(dialog_, "chkUseProxy");
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true}));
  Click(dialog_, "chkAnonymousLogin");
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, true, true}));
  Click(dialog_, "chkUseProxy");
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));

  Line("txtUserName")->setText("kept");
  Click(dialog_, "cmdOK");
  EXPECT_TRUE(connection_->Anonymous());
  EXPECT_EQ(connection_->UserName(), "kept");
  EXPECT_EQ(connection_->ProxyName(), "proxy.example");
}

TEST_F(PropertiesTest, CancelLeavesTheConnectionUntouched) {
  Type(dialog_, "txtPath", "ftp://elsewhere");
  Type(dialog_, "txtUserName", "mallory");
  Click(dialog_, "chkAnonymousLogin");
  Click(dialog_, "cmdCancel");
  EXPECT_TRUE(dialog_.Canceled());
  EXPECT_FALSE(dialog_.isVisible());
  EXPECT_EQ(dialog_.Location(), "");
  EXPECT_EQ(connection_->UserName(), "alice");
  EXPECT_FALSE(connection_->Anonymous());
}

TEST_F(PropertiesTest, ANewLocationStartsWithTheSchemeAndNeitherButtonIsTheDefault) {
  auto fresh = Connection::Create();
  fresh->iPC_Init(host_.host().plugin_interface(), "8", "");
  dialogs::frmProperties dialog;
  dialog.Initialze(com::ComPtr<_Connection>(static_cast<_Connection*>(fresh.get())));
  EXPECT_EQ(Find<QLineEdit>(dialog, "txtPath")->text(), "ftp://");
  for (const char* name : {"cmdOK", "cmdCancel"}) {
    EXPECT_FALSE(Find<QPushButton>(dialog, name)->isDefault()) << name;
    EXPECT_FALSE(Find<QPushButton>(dialog, name)->autoDefault()) << name;
  }
}

TEST_F(PropertiesTest, TabVisitsTheFieldsInTheirOrder) {
  const std::vector<std::string> order = {
      "txtPath",     "chkAnonymousLogin",  "txtUserName",           "txtPassword", "chkUseProxy",
      "txtProxyName", "txtProxyPort",      "chkEnableAsciiMode",    "chkClearCacheOnConnect",
      "cmdOK",       "cmdCancel",          "chkServU",              "txtConnectionPort"};
  EXPECT_EQ(testing_support::FocusOrder(dialog_, order), order);
}

TEST_F(PropertiesTest, EncryptionShowsTheStoredModeAndIsWrittenOnlyOnConfirmation) {
  auto* encryption = Find<QComboBox>(dialog_, "cboEncryption");
  EXPECT_EQ(encryption->currentIndex(), _ConnectionSecurity::kEncryptionNone);
  encryption->setCurrentIndex(_ConnectionSecurity::kEncryptionImplicit);
  Click(dialog_, "cmdCancel");
  EXPECT_EQ(connection_->Encryption(), _ConnectionSecurity::kEncryptionNone);

  connection_->Encryption(_ConnectionSecurity::kEncryptionExplicit);
  dialogs::frmProperties dialog;
  dialog.Initialze(plugin());
  dialog.show();
  auto* choice = Find<QComboBox>(dialog, "cboEncryption");
  EXPECT_EQ(choice->currentIndex(), _ConnectionSecurity::kEncryptionExplicit);
  choice->setCurrentIndex(_ConnectionSecurity::kEncryptionImplicit);
  Click(dialog, "cmdOK");
  EXPECT_EQ(connection_->Encryption(), _ConnectionSecurity::kEncryptionImplicit);
}

}  // namespace
}  // namespace orvex
