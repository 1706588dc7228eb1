#include "host/app/plugin_interface.h"

namespace orvex::hostapp {

std::string ReferencePluginInterface::ResolveLocation(const std::string& location) {
  constexpr const char* kBlanks = " \t\r\n\f\v";
  const auto first = location.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  const auto last = location.find_last_not_of(kBlanks);
  return location.substr(first, last - first + 1);
}

}  // namespace orvex::hostapp
