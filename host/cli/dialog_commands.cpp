#include "host/cli/dialog_commands.h"

#include <QApplication>
#include <QMessageBox>
#include <iostream>

#include "connection/host/connection_interface.h"
#include "host/app/plugin_loader.h"
#include "host/app/reference_host.h"
#include "host/cli/exit_status.h"

namespace orvex::cli {
namespace {

// The plug-in has created the Qt application by the time a message comes;
// on a real screen the message appears as a window, otherwise it stays on
// standard error (the host prints every message there).
bool MessagesCanBeShown() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal" && platform != "minimalegl";
}

// A reference host whose message boxes are real windows when they can be,
// and a connection to `url` initialised in it.
struct DialogSession {
  explicit DialogSession(const std::string& url) {
    plugin = loader.CreateObject(kConnectionProgId);
    host.services().SetMessageHandler([](const hostapp::MessageRecord& message) -> std::int32_t {
      if (!MessagesCanBeShown()) return 1;
      // The plug-in names no owner; the dialog that asks is the one in
      // front, and the message belongs over it, not in the screen's middle.
      QMessageBox::warning(QApplication::activeModalWidget(), QString::fromStdString(message.title),
                           QString::fromStdString(message.text));
      return 1;
    });
    plugin->iPC_Init(host.plugin_interface(), "cli", url);
  }
  ~DialogSession() { host.services().SetMessageHandler({}); }

  Variant Command(const char* word) {
    return plugin->iPC_ExecuteCommand(nullptr, Variant(), Variant(), Variant(Variant::Array{Variant(word)}));
  }

  hostapp::ReferenceHost host;
  hostapp::PluginLoader loader;
  com::ComPtr<iPC> plugin;
};

}  // namespace

int ShowProperties(const std::string& url) {
  DialogSession session(url);
  auto command = session.plugin->iPC_Properties()->Commands()->Item(1);
  const std::string location = session.plugin->iPC_ExecuteCommand(command).ToString();
  if (location.empty()) {
    std::cout << "cancelled; nothing saved\n";
  } else {
    std::cout << "saved the settings of " << location << " in "
              << session.host.options().settings_file.string() << "\n";
  }
  return kSuccess;
}

int ShowOptions() {
  DialogSession session("");
  const bool saved = session.Command("SHOWOPTIONS").ToString() == "OK";
  std::cout << (saved ? "saved the plug-in options\n" : "cancelled; nothing saved\n");
  return kSuccess;
}

int ShowAbout() {
  DialogSession session("");
  session.Command("SHOWABOUT");
  return kSuccess;
}

}  // namespace orvex::cli
