#pragma once
// ReferenceHost: the reference host's services in one object - settings
// store, application with its folder caches, log, message boxes and
// translation - and the PluginInterface to hand to a plug-in's iPC_Init.
//
// Default places follow the XDG base directories:
//   settings  $XDG_CONFIG_HOME/orvex/settings.sqlite3  (else ~/.config/orvex/...)
//   log       $XDG_STATE_HOME/orvex/orvex.log          (else ~/.local/state/orvex/...)
// A relative XDG value is ignored, as the XDG rules ask. Missing folders are
// created. No translation table is read unless one is named.

#include <filesystem>

#include "host/app/application.h"
#include "host/app/plugin_interface.h"
#include "host/app/services.h"
#include "host/app/settings_store.h"

namespace orvex::hostapp {

struct ReferenceHostOptions {
  // Empty means the default place above.
  std::filesystem::path settings_file;
  std::filesystem::path log_file;
  // Empty means no table: texts are used untranslated.
  std::filesystem::path translation_file;
  // Instead of a table: every text comes back marked, as
  // TranslationTable::MarkingEveryText does (for testing translations).
  bool mark_every_text = false;
  // Message boxes are written to standard error (a console host).
  bool print_messages = true;
};

std::filesystem::path DefaultSettingsFile();
std::filesystem::path DefaultLogFile();

class ReferenceHost {
 public:
  // Opens the settings database and the log file and reads the translation
  // table. Raises orvex::Error when any of them cannot be opened or read.
  explicit ReferenceHost(ReferenceHostOptions options = {});

  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  // The object a plug-in receives in iPC_Init.
  com::ComPtr<PluginInterface> plugin_interface() const { return plugin_interface_; }

  // Direct access for the host itself and for tests.
  ReferenceServices& services() const { return *services_; }
  DatabaseSettingsStore& settings() const { return *settings_; }
  ReferenceApplication& application() const { return *application_; }
  // The options with every default filled in.
  const ReferenceHostOptions& options() const { return options_; }

 private:
  ReferenceHostOptions options_;
  com::ComPtr<DatabaseSettingsStore> settings_;
  com::ComPtr<ReferenceServices> services_;
  com::ComPtr<ReferenceApplication> application_;
  com::ComPtr<PluginInterface> plugin_interface_;
};

}  // namespace orvex::hostapp
