#include "platform/inet/options.h"

#include <mutex>

namespace orvex::inet {
namespace {
std::mutex options_mutex;
Options default_options;
}  // namespace

Options DefaultOptions() {
  std::lock_guard lock(options_mutex);
  return default_options;
}

void SetDefaultOptions(const Options& options) {
  std::lock_guard lock(options_mutex);
  default_options = options;
}

}  // namespace orvex::inet
