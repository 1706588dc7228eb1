#include <algorithm>
#include <iterator>

#include "connection/host/host_objects.h"

namespace orvex {
namespace {

class PictureObject final : public com::Object<PictureObject, Picture> {
 public:
  explicit PictureObject(std::vector<std::uint8_t> png) : png_(std::move(png)) {
    // A PNG file starts with an 8-byte signature and the IHDR chunk, whose
    // data begins with the big-endian width and height.
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (png_.size() >= 24 && std::equal(std::begin(kSignature), std::end(kSignature), png_.begin())) {
      width_ = ReadBigEndian(16);
      height_ = ReadBigEndian(20);
    }
  }

  std::string Format() override { return "png"; }
  std::vector<std::uint8_t> Bytes() override { return png_; }
  std::int32_t Width() override { return width_; }
  std::int32_t Height() override { return height_; }

 private:
  std::int32_t ReadBigEndian(std::size_t offset) const {
    return static_cast<std::int32_t>((std::uint32_t{png_[offset]} << 24) |
                                     (std::uint32_t{png_[offset + 1]} << 16) |
                                     (std::uint32_t{png_[offset + 2]} << 8) | png_[offset + 3]);
  }

  std::vector<std::uint8_t> png_;
  std::int32_t width_ = 0, height_ = 0;
};

}  // namespace

com::ComPtr<Picture> NewPicture(std::vector<std::uint8_t> png) {
  return PictureObject::Create(std::move(png));
}

}  // namespace orvex
