// Drawing of the simulated camera's test picture.
#include "test_pattern.h"

namespace vkt::devsim {
namespace {

constexpr PatternColour kBars[4] = {{220, 30, 30}, {30, 200, 40}, {40, 50, 210}, {235, 235, 235}};
constexpr PatternColour kBandColour = {90, 90, 90};
constexpr PatternColour kSquareColour = {250, 250, 250};
constexpr PatternColour kCounterBackground = {0, 0, 0};
constexpr int kSquareSize = 48;
constexpr int kDigitScale = 6;
constexpr int kCounterTop = 208;

// 3x5 digit glyphs, one bit a pixel, rows top first, bit 2 = left column.
constexpr uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                                    {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                                    {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

struct Yuv {
  uint8_t y, u, v;
};

// Video-range BT.601.
Yuv toYuv(PatternColour c) {
  const int y = (66 * c.red + 129 * c.green + 25 * c.blue + 128) / 256 + 16;
  const int u = (-38 * c.red - 74 * c.green + 112 * c.blue + 128) / 256 + 128;
  const int v = (112 * c.red - 94 * c.green - 18 * c.blue + 128) / 256 + 128;
  return {static_cast<uint8_t>(y), static_cast<uint8_t>(u), static_cast<uint8_t>(v)};
}

bool counterPixel(uint32_t frameNumber, int x, int y) {
  if (y < kCounterTop || y >= kCounterTop + 5 * kDigitScale) return false;
  constexpr int kDigitCount = 6;
  constexpr int kDigitAdvance = 4 * kDigitScale;
  const int digitIndex = (x - 16) / kDigitAdvance;
  if (x < 16 || digitIndex >= kDigitCount) return false;
  const int column = ((x - 16) % kDigitAdvance) / kDigitScale;
  if (column > 2) return false;
  uint32_t value = frameNumber;
  for (int i = kDigitCount - 1; i > digitIndex; --i) value /= 10;
  const int row = (y - kCounterTop) / kDigitScale;
  return (kDigits[value % 10][row] >> (2 - column)) & 1;
}

PatternColour pixelColour(uint32_t frameNumber, int x, int y) {
  if (y >= kMovingBandTop && y < kMovingBandBottom) {
    const int squareLeft = static_cast<int>((frameNumber * 8) % (kPatternWidth - kSquareSize));
    const int squareTop = kMovingBandTop + (kMovingBandBottom - kMovingBandTop - kSquareSize) / 2;
    const bool inSquare = x >= squareLeft && x < squareLeft + kSquareSize && y >= squareTop && y < squareTop + kSquareSize;
    return inSquare ? kSquareColour : kBandColour;
  }
  if (y >= kMovingBandBottom + 32) return counterPixel(frameNumber, x, y) ? kSquareColour : kCounterBackground;
  return patternBarColour(x);
}

}  // namespace

PatternColour patternBarColour(int x) { return kBars[(x * 4 / kPatternWidth) & 3]; }

void drawTestPattern(uint32_t frameNumber, uint8_t* y, int yStride, uint8_t* u, int uStride, uint8_t* v,
                     int vStride) {
  for (int row = 0; row < kPatternHeight; ++row)
    for (int column = 0; column < kPatternWidth; ++column)
      y[row * yStride + column] = toYuv(pixelColour(frameNumber, column, row)).y;
  // Chroma from the top-left pixel of each 2x2 block: edges fall on even
  // coordinates everywhere in this picture.
  for (int row = 0; row < kPatternHeight / 2; ++row)
    for (int column = 0; column < kPatternWidth / 2; ++column) {
      const Yuv c = toYuv(pixelColour(frameNumber, column * 2, row * 2));
      u[row * uStride + column] = c.u;
      v[row * vStride + column] = c.v;
    }
}

}  // namespace vkt::devsim
