// The size a kind-7100 picture is decoded at: no larger than the window
// shows it. The decoder reads pictures whole or reduced by 2, 4 or 8 in
// both directions (ceil(side / s) pixels a side); the largest reduction
// whose output still covers the window's client area in both directions is
// taken, so the stretch blit only ever shrinks the picture a little or
// enlarges a full-size one, and memory and decoding time follow the window
// rather than the camera.
#pragma once
#include <cstdint>

#include "vktjpeg.h"

// The client area a picture is shown in, in pixels.
struct ShownSize {
  uint32_t width;
  uint32_t height;
};
// Asks for the picture at its full size whatever the window.
constexpr ShownSize kShowFullSize{UINT32_MAX, UINT32_MAX};

struct PictureScale {
  uint32_t divisor;   // 1, 2, 4 or 8
  JpegReadMode mode;  // the buffer read that produces it
};

// The largest reduction of a width x height picture that still covers
// `shown`; full size when none does.
PictureScale ChoosePictureScale(uint32_t width, uint32_t height, ShownSize shown);

// The read for a reduction the application chose: 1, 2, 4 or 8 (anything
// else reads the picture whole).
PictureScale ReductionScale(uint32_t divisor);
// True for the reductions the decoder reads at.
constexpr bool IsPictureReduction(uint32_t divisor) {
  return divisor == 1 || divisor == 2 || divisor == 4 || divisor == 8;
}

// A side of the picture after the reduction.
constexpr uint32_t ScaledSide(uint32_t side, uint32_t divisor) { return side / divisor + (side % divisor != 0); }
