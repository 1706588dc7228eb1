#include "host/cli/plugin_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/com/hresult.h"
#include "platform/error.h"

namespace orvex::cli {
namespace {

using EntryPoint = com::HRESULT (*)();

void CallEntryPoint(const std::filesystem::path& library, const char* name) {
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = ::dlerror();
    Raise(error_number::kFileNotFound, "Cannot load the plug-in library: " + std::string(reason ? reason : library.string()));
  }
  auto entry_point = reinterpret_cast<EntryPoint>(::dlsym(handle, name));
  if (!entry_point) {
    ::dlclose(handle);
    Raise(error_number::kFileNotFound, library.string() + " has no entry point " + name);
  }
  com::HRESULT result = entry_point();
  ::dlclose(handle);
  if (com::Failed(result)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    Raise(error_number::kAutomationError, std::string(name) + " failed (" + code + ")");
  }
}

}  // namespace

std::filesystem::path PluginLibraryPath() {
  if (const char* explicit_path = std::getenv("ORVEX_PLUGIN_LIBRARY"); explicit_path && *explicit_path) {
    return std::filesystem::absolute(explicit_path);
  }
  std::error_code error;
  const auto prefix = std::filesystem::read_symlink("/proc/self/exe", error).parent_path().parent_path();
  // Installed: the private library folder; in the build tree: lib/.
  const auto installed = prefix / ORVEX_INSTALLED_PLUGIN_DIR / "libOrvexFTP.so";
  if (std::filesystem::exists(installed, error)) return installed;
  return prefix / "lib" / "libOrvexFTP.so";
}

void RegisterServer(const std::filesystem::path& library) { CallEntryPoint(library, "DllRegisterServer"); }
void UnregisterServer(const std::filesystem::path& library) { CallEntryPoint(library, "DllUnregisterServer"); }

}  // namespace orvex::cli
