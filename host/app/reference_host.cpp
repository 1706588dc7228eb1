#include "host/app/reference_host.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace orvex::hostapp {
namespace {

std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return std::filesystem::current_path();
}

// $variable when it is set to an absolute path, otherwise ~/fallback.
std::filesystem::path BaseFolder(const char* variable, const char* fallback) {
  if (const char* value = std::getenv(variable); value && *value == '/') return value;
  return HomeFolder() / fallback;
}

}  // namespace

std::filesystem::path DefaultSettingsFile() {
  return BaseFolder("XDG_CONFIG_HOME", ".config") / "orvex" / "settings.sqlite3";
}

std::filesystem::path DefaultLogFile() {
  return BaseFolder("XDG_STATE_HOME", ".local/state") / "orvex" / "orvex.log";
}

ReferenceHost::ReferenceHost(ReferenceHostOptions options) : options_(std::move(options)) {
  if (options_.settings_file.empty()) options_.settings_file = DefaultSettingsFile();
  if (options_.log_file.empty()) options_.log_file = DefaultLogFile();
  TranslationTable translations;
  if (options_.mark_every_text) {
    translations = TranslationTable::MarkingEveryText();
  } else if (!options_.translation_file.empty()) {
    translations = TranslationTable::Load(options_.translation_file);
  }

  settings_ = DatabaseSettingsStore::Create(options_.settings_file);
  services_ = ReferenceServices::Create(options_.log_file, std::move(translations), options_.print_messages);
  application_ = ReferenceApplication::Create(ReferenceConfiguration::Create(settings_));
  plugin_interface_ = ReferencePluginInterface::Create(application_, services_);
}

}  // namespace orvex::hostapp
