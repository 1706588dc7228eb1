// The dialogs as a person meets them: real windows on an X display (Xvfb),
// driven with keystrokes, beside the offscreen tests. This program starts
// its own Xvfb on a free display and lets the plug-in create the Qt
// application, as it does in a host.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "connection/connection.h"
#include "dialogs/forms.h"
#include "tests/connection/host_fixture.h"

namespace orvex::testing_support {
namespace {

QStringList qt_messages;
void RecordMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
  qt_messages << message;
  std::fprintf(stderr, "%s\n", qPrintable(message));
}

// Runs `step` on the event loop once `ready` holds (checked every 20 ms, for
// at most 10 s), so that a modal window can be driven while it runs.
void When(std::function<bool()> ready, std::function<void()> step, int tries = 500) {
  QTimer::singleShot(20, [ready, step, tries] {
    if (ready()) return step();
    if (tries == 0) {
      ADD_FAILURE() << "the window did not appear";
      if (auto* modal = QApplication::activeModalWidget()) modal->close();
      return;
    }
    When(ready, step, tries - 1);
  });
}

template <class Window>
Window* Front() {
  return qobject_cast<Window*>(QApplication::activeModalWidget());
}

// Presses Tab in the window until `target` has its focus (at most 20
// times). Xvfb has no window manager to activate windows, so the window's
// own focus widget is the one that takes the keys.
void TabTo(QWidget* target) {
  QWidget* window = target->window();
  for (int count = 0; count < 20 && window->focusWidget() != target; ++count) {
    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Tab);
  }
  EXPECT_EQ(window->focusWidget(), target);
}

void Screenshot(const char* name) {
  if (const char* folder = std::getenv("ORVEX_XVFB_SCREENSHOTS")) {
    QGuiApplication::primaryScreen()->grabWindow(0).save(QString(folder) + "/" + name + ".png");
  }
}

class RealDisplay : public ::testing::Test {
 protected:
  RealDisplay() {
    connection_ = Connection::Create();
    connection_->iPC_Init(host_.host().plugin_interface(), "7", "");
  }
  TemporaryHost host_;
  com::ComPtr<Connection> connection_;
};

TEST_F(RealDisplay, PropertiesAndAboutBoxBehaveOnAnXDisplay) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  // The host shows the plug-in's message over the dialog in front, as orvex does.
  QWidget* message_parent = nullptr;
  host_.host().services().SetMessageHandler([&](const hostapp::MessageRecord& message) -> std::int32_t {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(message.title),
                    QString::fromStdString(message.text), QMessageBox::Ok, QApplication::activeModalWidget());
    message_parent = box.parentWidget();
    When([&] { return box.isVisible() && QApplication::activeModalWidget() == &box; },
         [&] {
           // Over its dialog, not in the middle of the screen.
           EXPECT_TRUE(box.parentWidget()->frameGeometry().contains(box.frameGeometry().center()))
               << "not over its dialog";
           Screenshot("validation-message");
           QTest::keyClick(&box, Qt::Key_Return);
         });
    box.exec();
    return 1;
  });

  QDialog* properties = nullptr;
  When([&] { return (properties = Front<QDialog>()) && properties->isVisible(); },
       [&] {
         EXPECT_FALSE(properties->windowIcon().isNull());
         EXPECT_NE(properties->winId(), 0u);
         auto* path = properties->findChild<QLineEdit*>("txtPath");
         auto* connect = properties->findChild<QPushButton*>("cmdOK");
         properties->activateWindow();
         path->setFocus();
         QTest::keyClick(path, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClicks(path, "not a url");
         TabTo(connect);
         QTest::keyClick(connect, Qt::Key_Space);  // refused: the message runs modally, then returns here
         EXPECT_EQ(properties->focusWidget(), path);
         QTest::keyClick(path, Qt::Key_A, Qt::ControlModifier);
         QTest::keyClicks(path, "ftp://ftp.example.org/pub");
         TabTo(connect);
         QTest::keyClick(connect, Qt::Key_Space);
       });
  auto command = connection_->iPC_Properties()->Commands()->Item(1);
  EXPECT_EQ(connection_->iPC_ExecuteCommand(command).ToString(), "ftp://ftp.example.org/pub");
  EXPECT_EQ(message_parent, properties);
  EXPECT_EQ(host_.host().services().MessageBoxes().size(), 1u);

  // No browser can start (none on PATH): the about box says so in a message of its own.
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", "/nonexistent", 1);
  ::unsetenv("BROWSER");
  QDialog* about = nullptr;
  QMessageBox* notice = nullptr;
  When([&] { return (about = Front<QDialog>()) && about->isVisible(); },
       [&] {
         auto* maker = about->findChild<QLabel*>("lblHaldenor");
         QTest::mouseClick(maker, Qt::LeftButton);
         // The click opened a message; it is driven from here on.
       });
  When([&] { return (notice = Front<QMessageBox>()) != nullptr && notice->isVisible(); },
       [&] {
         EXPECT_EQ(notice->parentWidget(), about);
         EXPECT_TRUE(notice->text().contains("No web browser")) << notice->text().toStdString();
         Screenshot("no-browser");
         QTest::keyClick(notice, Qt::Key_Return);
         When([&] { return Front<QDialog>() == about; },
              [&] { QTest::mouseClick(about->findChild<QLabel*>("lblVersion"), Qt::LeftButton); });
       });
  connection_->iPC_ExecuteCommand(nullptr, {}, {}, Variant(Variant::Array{Variant("SHOWABOUT")}));
  ::setenv("PATH", path.c_str(), 1);
  ASSERT_NE(notice, nullptr);
  for (const auto& message : qt_messages) {
    EXPECT_FALSE(message.contains("XDG_RUNTIME_DIR")) << message.toStdString();
  }
}

// Starts Xvfb on a display it picks itself; its number comes back on a pipe.
pid_t StartXvfb(std::string& display) {
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_ends[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the test
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    const std::string fd = std::to_string(pipe_ends[1]);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipe_ends[1]);
  // The number ends with a line feed once the server accepts clients.
  struct pollfd descriptor = {pipe_ends[0], POLLIN, 0};
  char number[16] = {};
  std::size_t length = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (length < sizeof number - 1 && (length == 0 || number[length - 1] != '\n') &&
         std::chrono::steady_clock::now() < deadline && ::poll(&descriptor, 1, 1000) >= 0) {
    if (!(descriptor.revents & (POLLIN | POLLHUP))) continue;
    const ssize_t count = ::read(pipe_ends[0], number + length, sizeof number - 1 - length);
    if (count <= 0) break;
    length += static_cast<std::size_t>(count);
  }
  ::close(pipe_ends[0]);
  display = std::string(":") + std::to_string(std::atoi(number));
  return number[0] >= '0' && number[0] <= '9' ? pid : (::kill(pid, SIGKILL), -1);
}

}  // namespace
}  // namespace orvex::testing_support

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string display;
  const pid_t xvfb = orvex::testing_support::StartXvfb(display);
  if (xvfb <= 0) {
    std::fprintf(stderr, "Xvfb (Debian's xvfb) could not be started\n");
    return 1;
  }
  ::setenv("DISPLAY", display.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  ::unsetenv("WAYLAND_DISPLAY");
  ::unsetenv("XDG_RUNTIME_DIR");  // what headless hosts have; its notice must not show
  qInstallMessageHandler(orvex::testing_support::RecordMessage);
  const int result = RUN_ALL_TESTS();
  orvex::dialogs::UnloadAboutBox();
  ::kill(xvfb, SIGTERM);
  ::waitpid(xvfb, nullptr, 0);
  return result;
}
