#include "connection/pictures.h"

#include "connection/host/host_objects.h"
#include "resources/pictures.h"

namespace orvex {

com::ComPtr<Picture> PluginPicture(std::string_view name) {
  return NewPicture(resources::PictureBytes(name));
}

}  // namespace orvex
