#pragma once
// Picture: an image the plug-in hands to the host (descriptor pictures,
// context command pictures) or the host hands out (its icon). Holds the
// encoded image file (PNG) as bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com/unknown.h"

namespace orvex {

struct Picture : com::IUnknown {
  static constexpr com::IID kIid = com::MakeGuid("{3205A7AB-DEFD-414D-B3B4-1E1C0D1A1A0E}");

  // "png"
  virtual std::string Format() = 0;
  virtual std::vector<std::uint8_t> Bytes() = 0;
  virtual std::int32_t Width() = 0;
  virtual std::int32_t Height() = 0;
};

}  // namespace orvex
