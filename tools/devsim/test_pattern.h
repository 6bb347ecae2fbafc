// The simulated camera's picture: four colour bars that stay put, a white
// square that moves across the middle, and the frame number in large
// digits at the bottom, drawn straight into YUV 4:2:0 planes.
#pragma once
#include <cstdint>

namespace vkt::devsim {

constexpr int kPatternWidth = 352;
constexpr int kPatternHeight = 288;

struct PatternColour {
  uint8_t red, green, blue;
};
// The bar under column x (any row above the moving band).
PatternColour patternBarColour(int x);
// Rows of the band in which the square moves.
constexpr int kMovingBandTop = 96;
constexpr int kMovingBandBottom = 160;

// Planes: luma of width x height, chroma of (width/2) x (height/2).
void drawTestPattern(uint32_t frameNumber, uint8_t* y, int yStride, uint8_t* u, int uStride, uint8_t* v,
                     int vStride);

}  // namespace vkt::devsim
