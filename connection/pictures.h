#pragma once
// The plug-in's pictures as host Picture objects: "plugin", "icon",
// "location", "settings", "settings_d".

#include <string_view>

#include "connection/host/picture.h"

namespace orvex {

com::ComPtr<Picture> PluginPicture(std::string_view name);

}  // namespace orvex
