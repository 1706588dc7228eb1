#pragma once
// A reference host in a temporary folder: its own settings database, log,
// translation table and class registry, so tests never touch the user's.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "host/app/reference_host.h"

namespace orvex::testing_support {

// Every text the host translates comes back as "«text»" (placeholders are
// filled in after marking), so a test sees what went through Translate.
struct MarkEveryText {};

inline std::string Marked(const std::string& text) { return "\xC2\xAB" + text + "\xC2\xBB"; }

class TemporaryHost {
 public:
  // `translations`: lines "English<TAB>translation", written to the table.
  explicit TemporaryHost(const std::string& translations = "") : TemporaryHost(translations, false) {}
  explicit TemporaryHost(MarkEveryText) : TemporaryHost("", true) {}
  ~TemporaryHost() {
    host_.reset();
    ::unsetenv("ORVEX_CLASS_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  hostapp::ReferenceHost& host() { return *host_; }
  const std::filesystem::path& folder() const { return folder_; }
  const std::filesystem::path& registry() const { return registry_; }

 private:
  TemporaryHost(const std::string& translations, bool mark_every_text) {
    char pattern[] = "/tmp/orvex-host-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    registry_ = folder_ / "classes.registry";
    ::setenv("ORVEX_CLASS_REGISTRY", registry_.c_str(), 1);
    hostapp::ReferenceHostOptions options;
    options.settings_file = folder_ / "settings.sqlite3";
    options.log_file = folder_ / "orvex.log";
    options.print_messages = false;
    options.mark_every_text = mark_every_text;
    if (!translations.empty()) {
      options.translation_file = folder_ / "translations.txt";
      std::ofstream(options.translation_file) << translations;
    }
    host_ = std::make_unique<hostapp::ReferenceHost>(options);
  }

  std::filesystem::path folder_, registry_;
  std::unique_ptr<hostapp::ReferenceHost> host_;
};

}  // namespace orvex::testing_support
