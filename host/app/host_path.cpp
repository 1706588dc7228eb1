#include "host/app/host_path.h"

namespace orvex::hostapp {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string CacheKey(std::string_view path) {
  std::string key;
  key.reserve(path.size());
  for (char c : path) {
    if (IsSeparator(c)) {
      if (!key.empty() && key.back() == '\\') continue;
      // A leading separator is kept so that "\dir" and "dir" stay apart.
      key += '\\';
    } else {
      key += c;
    }
  }
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

std::string ParentKey(std::string_view key) {
  auto separator = key.rfind('\\');
  if (separator == std::string_view::npos) return {};
  return std::string(key.substr(0, separator));
}

std::string LastComponent(std::string_view key) {
  auto separator = key.rfind('\\');
  return std::string(separator == std::string_view::npos ? key : key.substr(separator + 1));
}

bool IsSameOrBelow(std::string_view key, std::string_view folder) {
  if (folder.empty()) return true;
  if (!key.starts_with(folder)) return false;
  return key.size() == folder.size() || key[folder.size()] == '\\';
}

}  // namespace orvex::hostapp
