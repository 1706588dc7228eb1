// orvex: the command-line host. It loads the plug-in by its class name and
// drives it through iPC and _Connection only, as the Orvex host does.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "connection/host/connection_interface.h"
#include "connection/host/connection_security.h"
#include "host/cli/remote_url.h"
#include "host/app/plugin_loader.h"
#include "host/app/reference_host.h"
#include "host/cli/command_support.h"
#include "host/cli/command_table.h"
#include "host/cli/commands.h"
#include "host/cli/dialog_commands.h"
#include "host/cli/plugin_library.h"
#include "host/cli/remote_url.h"
#include "platform/com/class_registry.h"
#include "platform/error.h"
#include "resources/version_info.h"
#include "platform/text/terminal_text.h"

namespace orvex::cli {
namespace {


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
  if (!url) UsageError(error);
  return url;
}

int Info(const std::string& text) {
  const auto url = CheckedUrl(text);
  if (!url) return kUsage;
  hostapp::ReferenceHost host;
  hostapp::PluginLoader loader;
  auto plugin = loader.CreateObject(kConnectionProgId);
  // ftps:// and ftpes:// name the same stored server as ftp://.
  plugin->iPC_Init(host.plugin_interface(), "cli", url->Location());
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
              << "Use proxy:      " << YesNo(connection->UseProxy()) << "\n"
              << "Time offset:    "
              << (connection->ServerTimeOffset().empty() ? std::string("(learnt from the server)")
                                                          : Safe(connection->ServerTimeOffset()) + " (stored)")
              << "\n";
  }
  if (auto security = plugin.As<_ConnectionSecurity>()) {
    static const char* const kModes[] = {"none", "explicit TLS (AUTH TLS, required)", "implicit TLS"};
    const std::int32_t mode = security->Encryption();
    const std::string pinned = security->CertificateFingerprint();
    std::string shown = mode >= 0 && mode <= 2 ? kModes[mode] : "?";
    // ftpes:// and ftps:// choose the mode themselves, whatever is stored.
    if (url->encryption != UrlEncryption::Stored) {
      const int chosen = url->encryption == UrlEncryption::Implicit ? 2 : 1;
      shown = std::string(kModes[chosen]) + ", from the URL (stored: " + shown + ")";
    }
    std::cout << "Encryption:     " << shown << "\n"
              << "Certificate:    " << (pinned.empty() ? "(none trusted by fingerprint)" : Safe(pinned)) << "\n";
  }
  std::cout << "Settings:       " << host.options().settings_file.string() << "\n"
            << "Log:            " << host.options().log_file.string() << "\n"
            << "Class registry: " << com::ClassRegistry::DefaultPath().string() << "\n";
  return kSuccess;
}

// "orvex 2.0.1" and the plug-in's descriptor version as the host shows it.
int Version() {
  std::cout << "orvex " << version::kMajor << "." << version::kMinor << "." << version::kRevision << "\n";
  try {
    com::ClassRegistry registry;
    const auto registration = registry.FindByProgId(kConnectionProgId);
    if (!registration) {
      std::cout << "OrvexFTP plug-in: not registered (run 'orvex register')\n";
      return kSuccess;
    }
    hostapp::PluginLoader loader;
    auto plugin = loader.CreateObject(kConnectionProgId);
    std::cout << "OrvexFTP plug-in " << plugin->iPC_Properties()->Version() << " (" << registration->library_path
              << ")\n";
  } catch (const orvex::Error& error) {
    std::cout << "OrvexFTP plug-in: " << error.description() << "\n";
  }
  return kSuccess;
}

bool IsHelpOption(const std::string& argument) { return argument == "--help" || argument == "-h"; }

// Whether `--help` or `-h` comes before a closing "--".
bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (const auto& argument : arguments) {
    if (argument == "--") return false;
    if (IsHelpOption(argument)) return true;
  }
  return false;
}

int Help(const std::vector<std::string>& topics) {
  if (topics.empty()) {
    std::cout << GeneralHelp();
    return kSuccess;
  }
  const CommandInfo* command = FindCommand(topics[0]);
  if (!command) return UsageError("unknown command '" + topics[0] + "'");
  if (topics.size() > 1) return UsageError("unexpected operand '" + topics[1] + "'");
  std::cout << CommandHelp(*command);
  return kSuccess;
}

int Completion(const std::string& shell) {
  if (shell == "bash") {
    std::cout << BashCompletion();
  } else if (shell == "zsh") {
    std::cout << ZshCompletion();
  } else {
    return UsageError("no completion for '" + shell + "' (bash or zsh)");
  }
  return kSuccess;
}

int Run(const std::vector<std::string>& arguments) {
  // Options before the command word.
  std::size_t index = 0;
  bool verbose = false;
  for (; index < arguments.size() && arguments[index].size() > 1 && arguments[index][0] == '-'; ++index) {
    const std::string& option = arguments[index];
    if (IsHelpOption(option)) return Help({});
    if (option == "--version") return Version();
    if (option == "--verbose" || option == "-v") {
      verbose = true;
      continue;
    }
    return UsageError("unknown option '" + option + "'");
  }
  if (index == arguments.size()) {
    std::cerr << "usage: orvex [--verbose] COMMAND [ARGUMENTS] [OPTIONS]\n"
              << "Try 'orvex --help' for the commands.\n";
    return kUsage;
  }
  const std::string& word = arguments[index];
  const std::vector<std::string> rest(arguments.begin() + static_cast<std::ptrdiff_t>(index) + 1, arguments.end());
  const CommandInfo* command = FindCommand(word);
  if (!command) return UsageError("unknown command '" + word + "'");
  SetCurrentCommand(word);
  SetVerbose(verbose);
  if (AsksForHelp(rest)) {
    std::cout << CommandHelp(*command);
    return kSuccess;
  }
  if (word == "help") return Help(rest);
  if (auto remote_command = FindRemoteCommand(word)) return remote_command(rest);

  const auto parsed = ParseCommand(rest, word);
  if (!parsed) return kUsage;
  const auto& operands = parsed->operands;
  if (word == "register" || word == "unregister") return Register(word == "register");
  if (word == "info") {
    const int status = Info(operands[0]);
    // With connection options it also asks the server.
    const bool connect = std::any_of(ConnectionOptionTable().begin(), ConnectionOptionTable().end(),
                                     [&](const OptionInfo& option) {
                                       return option.name != "--verbose" && parsed->Has(option.name);
                                     });
    if (status != kSuccess || !connect) return status;
    return ServerInfo(*parsed);
  }
  if (word == "properties") return CheckedUrl(operands[0]) ? ShowProperties(operands[0]) : kUsage;
  if (word == "options") return ShowOptions();
  if (word == "about") return ShowAbout();
  if (word == "completion") return Completion(operands[0]);
  return UsageError("unknown command '" + word + "'");
}

// The loader's report for a class it cannot find, with what to do about it.
std::string WithRemedy(const orvex::Error& error) {
  std::string text = error.description() + " (" + std::to_string(error.number()) + ")";
  if (text.find("is not registered") != std::string::npos || text.find("is missing") != std::string::npos) {
    text += "\nRun 'orvex register' to register the plug-in.";
  }
  return text;
}

}  // namespace
}  // namespace orvex::cli

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  try {
    return orvex::cli::Run(arguments);
  } catch (const orvex::Error& error) {
    std::cerr << "orvex: " << orvex::text::TerminalSafe(orvex::cli::WithRemedy(error)) << "\n";
  } catch (const std::exception& error) {
    std::cerr << "orvex: " << orvex::text::TerminalSafe(error.what()) << "\n";
  }
  return orvex::cli::kFailure;
}
