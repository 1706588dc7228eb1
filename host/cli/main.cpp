// orvex: the command-line host. It loads the plug-in by its class name and
// drives it through iPC and _Connection only, as the Orvex host does.

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "connection/host/connection_interface.h"
#include "connection/host/connection_security.h"
#include "host/cli/remote_url.h"
#include "host/app/plugin_loader.h"
#include "host/app/reference_host.h"
#include "host/cli/commands.h"
#include "host/cli/dialog_commands.h"
#include "host/cli/plugin_library.h"
#include "platform/com/class_registry.h"
#include "platform/error.h"

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

int Info(const std::string& text) {
  // ftps:// and ftpes:// name the same stored server as ftp://.
  std::string url = text;
  std::string ignored;
  if (const auto parsed = ParseRemoteUrl(text, ignored)) url = parsed->Location();
  hostapp::ReferenceHost host;
  hostapp::PluginLoader loader;
  auto plugin = loader.CreateObject(kConnectionProgId);
  plugin->iPC_Init(host.plugin_interface(), "cli", url);
  auto info = plugin->iPC_Properties();
  auto connection = plugin.As<_Connection>();

  std::cout << "Description:    " << info->Description() << "\n"
            << "Version:        " << info->Version() << "\n"
            << "Company:        " << info->Company() << "\n"
            << "Author:         " << info->Author() << "\n"
            << "Web address:    " << info->WebAddress() << "\n"
            << "Location type:  " << info->LocationType() << "\n"
            << "Capabilities:   " << plugin->iPC_Settings() << "\n"
            << "Location:       " << plugin->iPC_Location() << "\n"
            << "Location name:  " << plugin->iPC_LocationName() << "\n";
  if (connection) {
    std::cout << "User name:      " << connection->UserName() << "\n"
              << "Password:       " << (connection->Password().empty() ? "(none)" : "(stored)") << "\n"
              << "Port:           " << connection->Port() << "\n"
              << "Anonymous:      " << YesNo(connection->Anonymous()) << "\n"
              << "Use proxy:      " << YesNo(connection->UseProxy()) << "\n";
  }
  if (auto security = plugin.As<_ConnectionSecurity>()) {
    static const char* const kModes[] = {"none", "explicit TLS (AUTH TLS, required)", "implicit TLS"};
    const std::int32_t mode = security->Encryption();
    const std::string pinned = security->CertificateFingerprint();
    std::cout << "Encryption:     " << (mode >= 0 && mode <= 2 ? kModes[mode] : "?") << "\n"
              << "Certificate:    " << (pinned.empty() ? "(none trusted by fingerprint)" : pinned) << "\n";
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
  if (command == "properties" && arguments.size() == 2) return ShowProperties(arguments[1]);
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
    std::cerr << "orvex: " << error.description() << " (" << error.number() << ")\n";
  } catch (const std::exception& error) {
    std::cerr << "orvex: " << error.what() << "\n";
  }
  return orvex::cli::kFailure;
}
