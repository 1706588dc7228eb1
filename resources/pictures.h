#pragma once
// The plug-in's pictures, compiled into the library: "plugin" (the about box
// picture) and the 16 x 16 images "icon", "location", "settings" and
// "settings_d". Each is a PNG file.

#include <cstdint>
#include <string_view>
#include <vector>

namespace orvex::resources {

// The PNG bytes of the named picture; empty for an unknown name.
std::vector<std::uint8_t> PictureBytes(std::string_view name);

}  // namespace orvex::resources
