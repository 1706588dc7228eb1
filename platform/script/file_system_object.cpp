#include "platform/script/file_system_object.h"

namespace orvex::script {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string_view WithoutTrailingSeparators(std::string_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

}  // namespace

std::string FileSystemObject::GetFileName(std::string_view path) const {
  path = WithoutTrailingSeparators(path);
  auto separator = LastSeparator(path);
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

std::string FileSystemObject::GetExtensionName(std::string_view path) const {
  std::string name = GetFileName(path);
  auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string FileSystemObject::GetParentFolderName(std::string_view path) const {
  path = WithoutTrailingSeparators(path);
  auto separator = LastSeparator(path);
  if (separator == std::string_view::npos) return {};
  return std::string(WithoutTrailingSeparators(path.substr(0, separator)));
}

}  // namespace orvex::script
