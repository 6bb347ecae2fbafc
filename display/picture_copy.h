// Copying a 24-bit picture (blue, green, red bytes; rows of width * 3 bytes,
// top row first) into a locked surface in the display's pixel format.
#pragma once
#include <cstddef>
#include <cstdint>

// Display pixel codes: the surface formats a picture can be copied into.
enum PixelCode : int32_t {
  kPixelUnsupported = -1,
  kPixel16Bit555 = 1001,  // red mask 0x7C00
  kPixel16Bit565 = 1002,  // red mask 0xF800
  kPixel24Bit = 1003,
  kPixel32Bit = 1004,
};

// Copies the top-left width x height pixels of `picture`, whose rows are
// `pictureRowBytes` apart.
void CopyPicture(int32_t pixelCode, const uint8_t* picture, size_t pictureRowBytes, uint32_t width, uint32_t height,
                 uint8_t* surface, int32_t pitch);
