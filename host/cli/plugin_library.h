#pragma once
// Finding and calling the plug-in library's registration entry points.

#include <filesystem>

namespace orvex::cli {

// The plug-in library: $ORVEX_PLUGIN_LIBRARY, else libOrvexFTP.so where it
// is installed beside this program (lib/orvex, or the library folder the
// build chose, next to bin), else in the lib folder beside bin (the build
// tree).
std::filesystem::path PluginLibraryPath();

// Calls DllRegisterServer or DllUnregisterServer of `library`. Throws
// orvex::Error naming what went wrong.
void RegisterServer(const std::filesystem::path& library);
void UnregisterServer(const std::filesystem::path& library);

}  // namespace orvex::cli
