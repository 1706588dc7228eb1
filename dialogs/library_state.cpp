#include "dialogs/library_state.h"

namespace orvex {
namespace {
// One per thread: the library is apartment-threaded.
thread_local com::ComPtr<PluginInterface> library_plugin_interface;
}  // namespace

com::ComPtr<PluginInterface> LibraryPluginInterface() { return library_plugin_interface; }
void LibraryPluginInterface(const com::ComPtr<PluginInterface>& value) {
  library_plugin_interface = value;
}

}  // namespace orvex
