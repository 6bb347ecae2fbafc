// YUV 4:2:0 to BGR conversion for the video decoder's pictures.
#include "yuv_to_bgr.h"

#include <algorithm>

namespace {

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

void ConvertYuv420ToBgr(const YuvPlanes& planes, int width, int height, bool fullRange, uint8_t* bgr) {
  // Coefficients scaled by 65536; video range stretches 16..235 to 0..255.
  const int yScale = fullRange ? 65536 : 76309;
  const int yOffset = fullRange ? 0 : 16;
  const int crToR = fullRange ? 91881 : 104597;
  const int cbToG = fullRange ? 22554 : 25675;
  const int crToG = fullRange ? 46802 : 53279;
  const int cbToB = fullRange ? 116130 : 132201;
  for (int row = 0; row < height; ++row) {
    const uint8_t* yRow = planes.y + row * planes.yStride;
    const uint8_t* uRow = planes.u + (row / 2) * planes.uStride;
    const uint8_t* vRow = planes.v + (row / 2) * planes.vStride;
    uint8_t* out = bgr + static_cast<size_t>(row) * width * 3;
    for (int column = 0; column < width; ++column) {
      const int luma = (yRow[column] - yOffset) * yScale + 32768;
      const int cb = uRow[column / 2] - 128;
      const int cr = vRow[column / 2] - 128;
      out[0] = Clamp((luma + cbToB * cb) >> 16);
      out[1] = Clamp((luma - cbToG * cb - crToG * cr) >> 16);
      out[2] = Clamp((luma + crToR * cr) >> 16);
      out += 3;
    }
  }
}
