#pragma once
// State the plug-in library shares between its connections: the host's
// PluginInterface given to the most recent iPC_Init on this thread, through
// which dialog texts are translated.

#include "connection/host/plugin_interface.h"

namespace orvex {

com::ComPtr<PluginInterface> LibraryPluginInterface();
void LibraryPluginInterface(const com::ComPtr<PluginInterface>& value);

}  // namespace orvex
