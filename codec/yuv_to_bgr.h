// Planar YUV 4:2:0 to 24-bit BGR, top row first, with the ITU-R BT.601
// matrix in 16.16 fixed point, for video range or full range input.
#pragma once
#include <cstdint>

struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  int yStride;
  int uStride;
  int vStride;
};

void ConvertYuv420ToBgr(const YuvPlanes& planes, int width, int height, bool fullRange, uint8_t* bgr);
