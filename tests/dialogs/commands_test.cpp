// The host's commands through iPC_ExecuteCommand, and the dialogs they show,
// against a real Connection and the reference host's settings store.

#include <chrono>

#include "connection/host/host_objects.h"
#include "dialogs/forms.h"
#include "platform/error.h"
#include "tests/dialogs/dialog_fixture.h"

namespace orvex {
namespace {

using testing_support::Click;
using testing_support::DialogTest;
using testing_support::Find;
using testing_support::Type;

constexpr char kSettingsKey[] = "Plugins\\FTP";

Variant Words(const char* word) { return Variant(Variant::Array{Variant(word)}); }

std::function<void(QDialog&)> Press(const char* button) {
  return [button](QDialog& dialog) { Click(dialog, button); };
}

class CommandsTest : public DialogTest {
 protected:
  Variant Execute(const char* word) { return connection_->iPC_ExecuteCommand(nullptr, {}, {}, Words(word)); }
  Variant Execute(const com::ComPtr<ContextCommand>& command) { return connection_->iPC_ExecuteCommand(command); }
  std::string Stored(const std::string& path) { return store().ReadString(path).ToString(); }
  std::string StoredOnServer(const std::string& server, const char* name) {
    store().OpenKey(std::string(kSettingsKey) + "\\" + server);
    std::string value = store().ReadString(name).ToString();
    store().OpenKey("");
    return value;
  }
};

TEST_F(CommandsTest, ShowOptionsSavesThePluginWideValuesOnlyWhenConfirmed) {
  const std::string extensions_path = std::string(kSettingsKey) + "\\AsciiExtensions";
  Answer([](QDialog& dialog) {
    Type(dialog, "txtAddAsciiExtension", "md");
    Click(dialog, "cmdAddAsciiExtension");
    Click(dialog, "cmdCancel");
  });
  EXPECT_TRUE(Execute("SHOWOPTIONS").IsEmpty());
  EXPECT_FALSE(store().ValueExists(extensions_path));

  Answer([](QDialog& dialog) {
    Type(dialog, "txtAddAsciiExtension", "md");
    Click(dialog, "cmdAddAsciiExtension");
    Click(dialog, "chkTempCopy");
    Click(dialog, "cmdOK");
  });
  EXPECT_EQ(Execute("ShowOptions").ToString(), "OK");
  EXPECT_EQ(Stored(extensions_path), "pl|c|cpp|h|txt|cgi|md");
  EXPECT_FALSE(store().ReadString(std::string(kSettingsKey) + "\\UseTempCopy").ToBoolean());
}

TEST_F(CommandsTest, OptionsChangedElsewhereAreReloaded) {
  store().WriteValue(std::string(kSettingsKey) + "\\AsciiExtensions", Variant("log|md"));
  EXPECT_TRUE(Execute("onOptionsChange").IsEmpty());
  EXPECT_EQ(connection_->AsciiExtensions()->Keys(), (std::vector<std::string>{"log", "md"}));
}

TEST_F(CommandsTest, InitNewStoresTheLoginUnderTheTypedServerAndReturnsTheLocation) {
  Answer([](QDialog& dialog) {
    EXPECT_EQ(dialog.objectName(), "frmProperties");
    Type(dialog, "txtPath", "ftp://new.example/in/box");
    Type(dialog, "txtUserName", "bob");
    Type(dialog, "txtPassword", "secret");
    Click(dialog, "cmdOK");
  });
  EXPECT_EQ(Execute("initnew").ToString(), "ftp://new.example/in/box");
  EXPECT_EQ(StoredOnServer("ftp://new.example", "UserName"), "bob");
  const std::string stored_password = StoredOnServer("ftp://new.example", "Password");
  EXPECT_FALSE(stored_password.empty());
  EXPECT_EQ(stored_password.find("secret"), std::string::npos);
  EXPECT_EQ(connection_->iPC_Location(), "ftp://server.example/pub");

  Answer(Press("cmdCancel"));
  EXPECT_TRUE(Execute("INITNEW").IsEmpty());
}

TEST_F(CommandsTest, OnlyThePropertiesContextCommandOpensTheDialog) {
  struct Case {
    std::int32_t id;
    std::int32_t flags;
    bool shows_dialog;
  };
  const Case cases[] = {{1, 272, true}, {1, 16, true}, {1, 256, false}, {2, 272, false}, {0, 16, false}};
  for (const auto& c : cases) {
    auto command = NewPluginInfo()->Commands()->Add(c.id, "Connection properties", "", "", "", c.flags, nullptr,
                                                    nullptr);
    int shown = 0;
    Answer([&shown](QDialog& dialog) {
      ++shown;
      Click(dialog, "cmdOK");
    });
    const Variant result = Execute(command);
    EXPECT_EQ(shown, c.shows_dialog ? 1 : 0) << c.id << "/" << c.flags;
    EXPECT_EQ(result.ToString(), c.shows_dialog ? "ftp://server.example/pub" : "") << c.id << "/" << c.flags;
  }
}

TEST_F(CommandsTest, PropertiesCommandSavesUnderTheConfirmedServerAndCancelSavesNothing) {
  auto command = connection_->iPC_Properties()->Commands()->Item(1);
  Answer(Press("cmdCancel"));
  EXPECT_TRUE(Execute(command).IsEmpty());
  EXPECT_FALSE(store().ValueExists(std::string(kSettingsKey) + "\\ftp://server.example\\UserName"));

  Answer([](QDialog& dialog) {
    Type(dialog, "txtUserName", "carol");
    Click(dialog, "cmdOK");
  });
  EXPECT_EQ(Execute(command).ToString(), "ftp://server.example/pub");
  EXPECT_EQ(StoredOnServer("ftp://server.example", "UserName"), "carol");

  // Typing another server must not put this login on the first server's key.
  Answer([](QDialog& dialog) {
    Type(dialog, "txtPath", "ftp://other.example");
    Type(dialog, "txtUserName", "dave");
    Click(dialog, "cmdOK");
  });
  EXPECT_EQ(Execute(command).ToString(), "ftp://other.example");
  EXPECT_EQ(StoredOnServer("ftp://other.example", "UserName"), "dave");
  EXPECT_EQ(StoredOnServer("ftp://server.example", "UserName"), "carol");
}

TEST_F(CommandsTest, UnknownWordsDoNothingAndAMissingWordIsAnError) {
  Answer([](QDialog& dialog) { ADD_FAILURE() << "unexpected " << dialog.objectName().toStdString(); });
  EXPECT_TRUE(Execute("SHOWSOMETHING").IsEmpty());
  EXPECT_THROW(connection_->iPC_ExecuteCommand(nullptr, {}, {}, Variant("SHOWABOUT")), Error);
  EXPECT_THROW(connection_->iPC_ExecuteCommand(nullptr, {}, {}, Variant(Variant::Array{})), Error);
}

TEST_F(CommandsTest, BeforeInitialisationCommandsFailInsteadOfCrashing) {
  auto uninitialised = Connection::Create();
  Answer([](QDialog& dialog) { dialog.hide(); });
  for (const char* word : {"SHOWABOUT", "SHOWOPTIONS", "ONOPTIONSCHANGE"}) {
    EXPECT_THROW(uninitialised->iPC_ExecuteCommand(nullptr, {}, {}, Words(word)), Error) << word;
  }
}

TEST_F(CommandsTest, ShowAboutShowsTheAboutBoxWithTheHostIcon) {
  bool shown = false;
  Answer([&shown](QDialog& dialog) {
    shown = true;
    EXPECT_EQ(dialog.objectName(), "frmAbout");
    EXPECT_FALSE(dialog.windowIcon().isNull());
    QTest::mouseClick(Find<QWidget>(dialog, "lblVersion"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(Execute("showabout").IsEmpty());
  EXPECT_TRUE(shown);
}

TEST_F(CommandsTest, WithoutADisplayEveryDialogFailsAtOnce) {
  // On a real screen (QT_QPA_PLATFORM chosen by the developer) the dialogs
  // would wait for an answer.
  if (dialogs::HasInteractiveDisplay()) GTEST_SKIP() << "needs the offscreen platform";
  dialogs::SetModalHandler({});  // nobody answers
  auto command = connection_->iPC_Properties()->Commands()->Item(1);
  const std::vector<std::function<Variant()>> calls = {
      [&] { return Execute("SHOWABOUT"); }, [&] { return Execute("SHOWOPTIONS"); },
      [&] { return Execute("INITNEW"); }, [&] { return Execute(command); }};
  for (const auto& call : calls) {
    const auto start = std::chrono::steady_clock::now();
    try {
      call();
      ADD_FAILURE() << "a dialog was shown without a display";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), dialogs::kNoDisplayError);
      EXPECT_NE(error.description().find("no display"), std::string::npos) << error.description();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

TEST_F(CommandsTest, AFailingConnectAsksAgainUntilTheUserCancels) {
  // Nothing listens on port 1 of the loopback addresses: every attempt is
  // refused at once.
  auto connection = Connection::Create();
  connection->iPC_Init(host_.host().plugin_interface(), "9", "ftp://127.0.0.1/pub");
  ASSERT_EQ(connection->UserName(), "");
  AnswerInTurn({
      [](QDialog& dialog) {  // no login stored yet
        Type(dialog, "txtUserName", "erin");
        Type(dialog, "txtConnectionPort", "1");
        Click(dialog, "cmdOK");
      },
      [](QDialog& dialog) {  // after the first failure
        EXPECT_EQ(Find<QLineEdit>(dialog, "txtUserName")->text(), "erin");
        Type(dialog, "txtPath", "ftp://127.0.0.2/other");
        Click(dialog, "cmdOK");
      },
      Press("cmdCancel"),  // after the second failure
  });
  services().ClearRecords();
  EXPECT_FALSE(connection->iPC_Connect());

  const auto messages = services().MessageBoxes();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text.rfind("Connection to ftp://127.0.0.1/pub failed: ", 0), 0u) << messages[0].text;
  EXPECT_EQ(messages[1].text.rfind("Connection to ftp://127.0.0.2/other failed: ", 0), 0u) << messages[1].text;
  EXPECT_EQ(messages[1].flags, 8192);
  EXPECT_EQ(connection->iPC_Location(), "ftp://127.0.0.2/other");
  EXPECT_EQ(StoredOnServer("ftp://127.0.0.2", "UserName"), "erin");
  EXPECT_EQ(connection->iPC_Properties()->LastError().rfind("Connection to ftp://127.0.0.2/other failed: ", 0), 0u);
}

}  // namespace
}  // namespace orvex
