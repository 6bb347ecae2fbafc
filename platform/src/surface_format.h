// Pixel layouts of simulated display memory and conversion of one pixel to
// and from 0x00RRGGBB. Direct-colour layouts are described by their channel
// masks; anything else (8-bit palette indices) is read and written as grey,
// which is enough to show that a picture arrived.
#pragma once
#include <windows.h>

#include <cstdint>

namespace platform {

struct PixelLayout {
  DWORD bitsPerPixel = 32;
  DWORD flags = 0;  // DDPF_* flags
  DWORD redMask = 0, greenMask = 0, blueMask = 0;

  int BytesPerPixel() const { return static_cast<int>((bitsPerPixel + 7) / 8); }
};

uint32_t ReadPixelRgb(const PixelLayout& layout, const uint8_t* pixel);
void WritePixelRgb(const PixelLayout& layout, uint8_t* pixel, uint32_t rgb);

}  // namespace platform
