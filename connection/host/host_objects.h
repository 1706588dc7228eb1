#pragma once
// The creatable classes of the host's object library (libOrvexInterface.so).
// The plug-in creates its descriptor, items and pictures through these, as it
// would create the host's classes on the original platform.

#include <cstdint>
#include <vector>

#include "connection/host/host_file.h"
#include "connection/host/host_file_stream.h"
#include "connection/host/plugin_info.h"

#define ORVEX_HOST_OBJECTS_API __attribute__((visibility("default")))

namespace orvex {

ORVEX_HOST_OBJECTS_API com::ComPtr<HostFile> NewHostFile();
ORVEX_HOST_OBJECTS_API com::ComPtr<HostFolder> NewHostFolder();
ORVEX_HOST_OBJECTS_API com::ComPtr<HostFileStream> NewHostFileStream();
ORVEX_HOST_OBJECTS_API com::ComPtr<PluginInfo> NewPluginInfo();
// A picture from an encoded PNG image; width and height are read from its
// header (0 when the bytes are not a PNG image).
ORVEX_HOST_OBJECTS_API com::ComPtr<Picture> NewPicture(std::vector<std::uint8_t> png);

}  // namespace orvex
