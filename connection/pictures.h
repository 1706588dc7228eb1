#pragma once
// The plug-in's pictures as host Picture objects: "plugin", "icon",
// "location", "settings", "settings_d".
//
// The pictures belong to the library's about box, one per thread, shared by
// all connections: a connection loads it (hidden) when it is created and
// unloads it when it is destroyed; the next use loads it again.

#include <string_view>

#include "connection/host/picture.h"

namespace orvex {

void LoadAboutBox();
void UnloadAboutBox();
com::ComPtr<Picture> PluginPicture(std::string_view name);

}  // namespace orvex
