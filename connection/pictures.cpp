#include "connection/pictures.h"

#include <QBuffer>
#include <QImage>

#include "connection/host/host_objects.h"
#include "dialogs/forms.h"
#include "dialogs/gui_runtime.h"

namespace orvex {

void LoadAboutBox() {
  dialogs::HoldApplication();
  dialogs::LoadAboutBox();
}

void UnloadAboutBox() {
  dialogs::UnloadAboutBox();
  dialogs::ReleaseApplication();
}

com::ComPtr<Picture> PluginPicture(std::string_view name) {
  const QImage image = dialogs::PluginImage(std::string(name));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.isNull()) image.save(&buffer, "PNG");
  return NewPicture(std::vector<std::uint8_t>(png.begin(), png.end()));
}

}  // namespace orvex
