#include "connection/pictures.h"

#include "connection/host/host_objects.h"
#include "resources/pictures.h"

namespace orvex {

void LoadAboutBox() {}
void UnloadAboutBox() {}

com::ComPtr<Picture> PluginPicture(std::string_view name) {
  return NewPicture(resources::PictureBytes(name));
}

}  // namespace orvex
