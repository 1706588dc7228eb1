#pragma once
// Finding and calling the plug-in library's registration entry points.

#include <filesystem>

namespace orvex::cli {

// The plug-in library: $ORVEX_PLUGIN_LIBRARY, else libOrvexFTP.so in the lib
// folder beside this program's bin folder.
std::filesystem::path PluginLibraryPath();

// Calls DllRegisterServer or DllUnregisterServer of `library`. Throws
// orvex::Error naming what went wrong.
void RegisterServer(const std::filesystem::path& library);
void UnregisterServer(const std::filesystem::path& library);

}  // namespace orvex::cli
