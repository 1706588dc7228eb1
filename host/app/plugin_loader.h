#pragma once
// Creating a plug-in by class name, as a COM host does:
// ProgID -> class identifier -> library -> DllGetClassObject -> class factory
// -> CreateInstance -> the iPC interface.

#include <memory>
#include <string>

#include "connection/host/ipc.h"

namespace orvex::hostapp {

class PluginLoader {
 public:
  PluginLoader();
  ~PluginLoader();
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;

  // Creates an object of the registered class `prog_id` and returns its iPC
  // interface. Throws orvex::Error with a clear description when the class is
  // not registered, its library is missing or cannot be loaded, an entry point
  // is missing, or the class cannot be created.
  com::ComPtr<iPC> CreateObject(const std::string& prog_id);

  // Unloads every library whose DllCanUnloadNow says it may go.
  void FreeUnusedLibraries();

 private:
  struct Libraries;
  std::unique_ptr<Libraries> libraries_;
};

}  // namespace orvex::hostapp
