// Planar YUV to BGR conversion for the video decoder's pictures. A row is
// converted one chroma sample at a time: its colour terms are worked out
// once for the one or two pixels it covers, which halves the multiplies of
// subsampled layouts.
#include "yuv_to_bgr.h"

#include <algorithm>
#include <cstddef>

namespace {

// BT.601 coefficients scaled by 65536; video range stretches luma 16..235
// and chroma 16..240 to the full 0..255.
struct Matrix {
  int yScale;
  int yOffset;
  int crToR;
  int cbToG;
  int crToG;
  int cbToB;
};
constexpr Matrix kVideoRange{76309, 16, 104597, 25675, 53279, 132201};
constexpr Matrix kFullRange{65536, 0, 91881, 22554, 46802, 116130};

// Sums reach -277..535 before clamping (luma -18..278, chroma terms up to
// +-258); a table indexed from -384 clamps them without branches.
constexpr int kClampBias = 384;
constexpr int kClampEntries = 1024;
struct ClampTable {
  uint8_t values[kClampEntries];
  constexpr ClampTable() : values{} {
    for (int i = 0; i < kClampEntries; ++i) values[i] = static_cast<uint8_t>(std::clamp(i - kClampBias, 0, 255));
  }
};
constexpr ClampTable kClamp;

inline uint8_t Clamp(int value) { return kClamp.values[(value + kClampBias) & (kClampEntries - 1)]; }

template <int kShiftX>
void ConvertRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, const Matrix& m, uint8_t* out) {
  constexpr int kCovered = 1 << kShiftX;
  for (int column = 0; column < width; column += kCovered) {
    const int cb = u[column >> kShiftX] - 128;
    const int cr = v[column >> kShiftX] - 128;
    // 32768 rounds the 16.16 sums to the nearest value.
    const int blue = m.cbToB * cb + 32768;
    const int green = 32768 - m.cbToG * cb - m.crToG * cr;
    const int red = m.crToR * cr + 32768;
    const int end = std::min(column + kCovered, width);
    for (int x = column; x < end; ++x, out += 3) {
      const int luma = (y[x] - m.yOffset) * m.yScale;
      out[0] = Clamp((luma + blue) >> 16);
      out[1] = Clamp((luma + green) >> 16);
      out[2] = Clamp((luma + red) >> 16);
    }
  }
}

}  // namespace

void ConvertYuvToBgr(const YuvPlanes& planes, int width, int height, bool fullRange, uint8_t* bgr) {
  const Matrix& matrix = fullRange ? kFullRange : kVideoRange;
  const auto convertRow = planes.chromaShiftX ? ConvertRow<1> : ConvertRow<0>;
  for (int row = 0; row < height; ++row) {
    const int chromaRow = row >> planes.chromaShiftY;
    convertRow(planes.y + static_cast<ptrdiff_t>(row) * planes.yStride,
               planes.u + static_cast<ptrdiff_t>(chromaRow) * planes.uStride,
               planes.v + static_cast<ptrdiff_t>(chromaRow) * planes.vStride, width, matrix,
               bgr + static_cast<size_t>(row) * width * 3);
  }
}
