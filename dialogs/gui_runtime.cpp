#include "dialogs/gui_runtime.h"

#include <cstdio>

#include <dlfcn.h>

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QThread>
#include <QUrl>
#include <clocale>
#include <cstdlib>
#include <string>
#include <utility>

#include "platform/error.h"

namespace orvex::dialogs {

// The application object this library created, if any, and how many holders
// keep it; a host's own application object is never touched.
QApplication* owned_application = nullptr;
int application_holders = 0;

namespace {

std::function<void(QDialog&)>& ModalHandler() {
  static std::function<void(QDialog&)> handler;
  return handler;
}

std::function<void(const QString&)>& UrlOpener() {
  static std::function<void(const QString&)> opener;
  return opener;
}

// QApplication keeps references to argc and argv for its whole life, so they
// live in static storage.
int application_argc = 0;
char application_name[] = "OrvexFTP";
char platform_option[] = "-platform";
std::string platform_list;
char* application_argv[4] = {application_name, platform_option, nullptr, nullptr};

// A host may unload the plug-in once no object of it is alive. Qt's
// application object and its platform plug-ins cannot survive that, so once
// this library has created one it stays loaded for the rest of the process.
void KeepLibraryLoaded() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&KeepLibraryLoaded), &info) && info.dli_fname) {
    ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

// Qt's messages go to the host's standard error as before, except the notice
// about a missing runtime folder: headless hosts (services, CI) rarely have
// one and the plug-in does not use it, so it would only repeat itself for
// every connection. Qt gives it again later (opening a web address asks for
// the folder), so the filter stays in place for the life of the process.
QtMessageHandler previous_message_handler = nullptr;
bool message_filter_installed = false;
void FilteredMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.contains("XDG_RUNTIME_DIR")) return;
  if (previous_message_handler) {
    previous_message_handler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

// The platform Qt would pick, then "offscreen" so that a missing or dead
// display means drawing into memory instead of qFatal. Without any display
// named in the environment there is nothing to try first.
std::string PlatformList() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
  };
  if (const char* chosen = set("QT_QPA_PLATFORM")) {
    const std::string first = chosen;
    return first.find("offscreen") != std::string::npos ? first : first + ";offscreen";
  }
  if (set("WAYLAND_DISPLAY")) return "wayland;xcb;offscreen";
  if (set("DISPLAY")) return "xcb;offscreen";
  return "offscreen";
}

}  // namespace

void EnsureApplication() {
  if (auto* existing = QCoreApplication::instance()) {
    if (!qobject_cast<QApplication*>(existing)) {
      Raise(kNoDisplayError,
            "The host runs a Qt application object without widgets; the plug-in's dialogs cannot be created");
    }
    return;
  }
  // QApplication sets the C locale from the environment; the host's number
  // and text handling must not change under it.
  std::string host_locale = std::setlocale(LC_ALL, nullptr) ? std::setlocale(LC_ALL, nullptr) : "C";
  platform_list = PlatformList();
  // Qt removes the options it understood from argv, so the list is laid out
  // afresh for every application object.
  application_argv[0] = application_name;
  application_argv[1] = platform_option;
  application_argv[2] = platform_list.data();
  application_argv[3] = nullptr;
  application_argc = 3;
  if (!std::exchange(message_filter_installed, true)) {
    previous_message_handler = qInstallMessageHandler(FilteredMessages);
  }
  owned_application = new QApplication(application_argc, application_argv);
  std::setlocale(LC_ALL, host_locale.c_str());
  KeepLibraryLoaded();
}

void HoldApplication() { ++application_holders; }

void ReleaseApplication() {
  if (application_holders > 0) --application_holders;
  if (application_holders == 0 && owned_application && QCoreApplication::instance() == owned_application &&
      QThread::currentThread() == owned_application->thread()) {
    delete std::exchange(owned_application, nullptr);
  }
}

bool HasInteractiveDisplay() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal" && platform != "minimalegl";
}

void ShowModal(QDialog& dialog, const std::string& what) {
  if (auto& handler = ModalHandler()) {
    dialog.setModal(true);
    dialog.show();
    handler(dialog);
    return;
  }
  if (!HasInteractiveDisplay()) {
    Raise(kNoDisplayError, "The dialog \"" + what +
                               "\" cannot be shown: no display is available (set DISPLAY or "
                               "WAYLAND_DISPLAY, or run the host in a desktop session)");
  }
  dialog.exec();
}

void SetModalHandler(std::function<void(QDialog&)> handler) { ModalHandler() = std::move(handler); }

bool OpenUrl(const QString& address) {
  if (auto& opener = UrlOpener()) {
    opener(address);
    return true;
  }
  return QDesktopServices::openUrl(QUrl(address));
}

void SetUrlOpener(std::function<void(const QString&)> opener) { UrlOpener() = std::move(opener); }

}  // namespace orvex::dialogs
