// orvex: the command-line host. It loads the plug-in by its class name and
// drives it through iPC and _Connection only, as the Orvex host does.

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "connection/host/connection_interface.h"
#include "host/app/plugin_loader.h"
#include "host/app/reference_host.h"
#include "host/cli/commands.h"
#include "host/cli/dialog_commands.h"
#include "host/cli/plugin_library.h"
#include "host/cli/remote_url.h"
#include "platform/com/class_registry.h"
#include "platform/error.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

constexpr char kUsageText[] =
    "usage: orvex register | unregister\n"
    "       orvex info URL\n"
    "       orvex properties URL | options | about\n";

std::string YesNo(bool value) { return value ? "yes" : "no"; }

int Register(bool add) {
  auto library = PluginLibraryPath();
  add ? RegisterServer(library) : UnregisterServer(library);
  std::cout << (add ? "registered " : "unregistered ") << kConnectionProgId << " ("
            << library.string() << ") in " << com::ClassRegistry::DefaultPath().string() << "\n";
  return kSuccess;
}

// Everything shown here comes from the stored settings and the URL, so each
// value is made terminal-safe.
std::string Safe(const std::string& text) { return text::TerminalSafe(text); }

// A URL checked like every other command's (no password, no control
// characters, no "." or ".."); nullopt after printing why.
std::optional<RemoteUrl> CheckedUrl(const std::string& text) {
  std::string error;
  auto url = ParseRemoteUrl(text, error);
  if (!url) std::cerr << "orvex: " << Safe(error) << "\n" << kUsageText;
  return url;
}

int Info(const std::string& text) {
  const auto url = CheckedUrl(text);
  if (!url) return kUsage;
  hostapp::ReferenceHost host;
  hostapp::PluginLoader loader;
  auto plugin = loader.CreateObject(kConnectionProgId);
  plugin->iPC_Init(host.plugin_interface(), "cli", text);
  auto info = plugin->iPC_Properties();
  auto connection = plugin.As<_Connection>();

  std::cout << "Description:    " << Safe(info->Description()) << "\n"
            << "Version:        " << Safe(info->Version()) << "\n"
            << "Company:        " << Safe(info->Company()) << "\n"
            << "Author:         " << Safe(info->Author()) << "\n"
            << "Web address:    " << Safe(info->WebAddress()) << "\n"
            << "Location type:  " << Safe(info->LocationType()) << "\n"
            << "Capabilities:   " << plugin->iPC_Settings() << "\n"
            << "Location:       " << Safe(plugin->iPC_Location()) << "\n"
            << "Location name:  " << Safe(plugin->iPC_LocationName()) << "\n";
  if (connection) {
    std::cout << "User name:      " << Safe(connection->UserName()) << "\n"
              << "Password:       " << (connection->Password().empty() ? "(none)" : "(stored)") << "\n"
              << "Port:           " << connection->Port() << "\n"
              << "Anonymous:      " << YesNo(connection->Anonymous()) << "\n"
              << "Use proxy:      " << YesNo(connection->UseProxy()) << "\n";
  }
  std::cout << "Settings:       " << host.options().settings_file.string() << "\n"
            << "Log:            " << host.options().log_file.string() << "\n"
            << "Class registry: " << com::ClassRegistry::DefaultPath().string() << "\n";
  return kSuccess;
}

int Run(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    std::cerr << kUsageText << kRemoteUsageText;
    return kUsage;
  }
  const std::string& command = arguments[0];
  if ((command == "register" || command == "unregister") && arguments.size() == 1) {
    return Register(command == "register");
  }
  if (command == "info" && arguments.size() == 2) return Info(arguments[1]);
  if (auto remote_command = FindRemoteCommand(command)) return remote_command({arguments.begin() + 1, arguments.end()});
  if (command == "properties" && arguments.size() == 2) {
    const auto url = CheckedUrl(arguments[1]);
    return url ? ShowProperties(arguments[1]) : kUsage;
  }
  if (command == "options" && arguments.size() == 1) return ShowOptions();
  if (command == "about" && arguments.size() == 1) return ShowAbout();
  std::cerr << kUsageText << kRemoteUsageText;
  return kUsage;
}

}  // namespace
}  // namespace orvex::cli

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
    return orvex::cli::Run(arguments);
  } catch (const orvex::Error& error) {
    std::cerr << "orvex: " << orvex::text::TerminalSafe(error.description()) << " (" << error.number() << ")\n";
  } catch (const std::exception& error) {
    std::cerr << "orvex: " << orvex::text::TerminalSafe(error.what()) << "\n";
  }
  return orvex::cli::kFailure;
}
