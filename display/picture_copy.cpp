// Picture copies by display pixel code. 24-bit surfaces share the picture's
// byte order and take whole rows. 32-bit surfaces take the three colour
// bytes of each pixel; the fourth byte is left as the surface had it.
// 16-bit surfaces take the colours reduced to 5:5:5 or 5:6:5 by dropping low
// bits, so such displays show the picture instead of an empty surface.
#include "picture_copy.h"

#include <cstddef>
#include <cstring>

namespace {

inline void Store16(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

inline uint32_t To555(const uint8_t* bgr) {
  return static_cast<uint32_t>(bgr[2] >> 3) << 10 | static_cast<uint32_t>(bgr[1] >> 3) << 5 | (bgr[0] >> 3);
}

inline uint32_t To565(const uint8_t* bgr) {
  return static_cast<uint32_t>(bgr[2] >> 3) << 11 | static_cast<uint32_t>(bgr[1] >> 2) << 5 | (bgr[0] >> 3);
}

}  // namespace

void CopyPicture(int32_t pixelCode, const uint8_t* picture, size_t pictureRowBytes, uint32_t width, uint32_t height,
                 uint8_t* surface, int32_t pitch) {
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  for (uint32_t row = 0; row < height; ++row) {
    const uint8_t* in = picture + row * pictureRowBytes;
    uint8_t* out = surface + static_cast<ptrdiff_t>(row) * pitch;
    switch (pixelCode) {
      case kPixel24Bit:
        std::memcpy(out, in, rowBytes);
        break;
      case kPixel32Bit:
        for (uint32_t x = 0; x < width; ++x, in += 3, out += 4) std::memcpy(out, in, 3);
        break;
      case kPixel16Bit555:
        for (uint32_t x = 0; x < width; ++x, in += 3, out += 2) Store16(out, To555(in));
        break;
      case kPixel16Bit565:
        for (uint32_t x = 0; x < width; ++x, in += 3, out += 2) Store16(out, To565(in));
        break;
      default:
        return;
    }
  }
}
