// Mask-driven pixel conversion for the simulated display's surfaces. Narrow
// channels widen by scaling to the full 0..255 range, so a 5-bit 31 reads as
// 255 and white stays white through a 16-bit display.
#include "surface_format.h"

#include <ddraw.h>

#include <bit>

namespace platform {
namespace {

uint32_t LoadLittleEndian(const uint8_t* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
  return value;
}

void StoreLittleEndian(uint8_t* p, int bytes, uint32_t value) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t ChannelToByte(uint32_t value, DWORD mask) {
  if (mask == 0) return 0;
  const uint64_t maximum = mask >> std::countr_zero(mask);
  const uint64_t channel = (value & mask) >> std::countr_zero(mask);
  return static_cast<uint32_t>((channel * 255 + maximum / 2) / maximum);
}

uint32_t ByteToChannel(uint32_t byte, DWORD mask) {
  if (mask == 0) return 0;
  const uint64_t maximum = mask >> std::countr_zero(mask);
  return static_cast<uint32_t>(((byte * maximum + 127) / 255) << std::countr_zero(mask)) & mask;
}

bool IsDirectColour(const PixelLayout& layout) {
  return (layout.flags & DDPF_RGB) && layout.redMask && layout.greenMask && layout.blueMask;
}

}  // namespace

uint32_t ReadPixelRgb(const PixelLayout& layout, const uint8_t* pixel) {
  const uint32_t value = LoadLittleEndian(pixel, layout.BytesPerPixel());
  if (!IsDirectColour(layout)) {
    const uint32_t grey = value & 0xFF;
    return grey << 16 | grey << 8 | grey;
  }
  return ChannelToByte(value, layout.redMask) << 16 | ChannelToByte(value, layout.greenMask) << 8 |
         ChannelToByte(value, layout.blueMask);
}

void WritePixelRgb(const PixelLayout& layout, uint8_t* pixel, uint32_t rgb) {
  const uint32_t red = rgb >> 16 & 0xFF, green = rgb >> 8 & 0xFF, blue = rgb & 0xFF;
  if (!IsDirectColour(layout)) {
    pixel[0] = static_cast<uint8_t>((red * 77 + green * 150 + blue * 29) >> 8);
    return;
  }
  const int bytes = layout.BytesPerPixel();
  // Bits outside the three masks (the X byte of 32-bit pixels) keep their value.
  const uint32_t keep = LoadLittleEndian(pixel, bytes) & ~(layout.redMask | layout.greenMask | layout.blueMask);
  StoreLittleEndian(pixel, bytes,
                    keep | ByteToChannel(red, layout.redMask) | ByteToChannel(green, layout.greenMask) |
                        ByteToChannel(blue, layout.blueMask));
}

}  // namespace platform
