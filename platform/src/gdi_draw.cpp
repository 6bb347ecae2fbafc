// Ellipse and TextOutA: the drawing the overlay needs, written pixel by
// pixel into the context's surface in its own pixel format and clipped to
// the surface. Text is the built-in 8 x 16 font stretched to the cell of
// the selected font.
#include <algorithm>
#include <cstdint>

#include "font_8x16.h"
#include "gdi_dc.h"

using namespace platform;

namespace {

// Beyond this the inside test of Ellipse could overflow 64 bits.
constexpr int64_t kLargestEllipse = 32768;

void PutPixel(const SurfaceBits& bits, int64_t x, int64_t y, uint32_t rgb) {
  if (x < 0 || y < 0 || x >= bits.width || y >= bits.height) return;
  WritePixelRgb(bits.layout, bits.pixels + y * bits.pitch + x * bits.layout.BytesPerPixel(), rgb);
}

// Pixel (x, y) of the box [left, right) x [top, bottom) lies in its
// inscribed ellipse when its centre does; in doubled coordinates:
// (px / w)^2 + (py / h)^2 <= 1.
struct EllipseShape {
  int64_t left, top, right, bottom;

  bool Contains(int64_t x, int64_t y) const {
    if (x < left || x >= right || y < top || y >= bottom) return false;
    const int64_t w = right - left, h = bottom - top;
    const int64_t px = 2 * x + 1 - (left + right), py = 2 * y + 1 - (top + bottom);
    return px * px * h * h + py * py * w * w <= w * w * h * h;
  }

  bool OnOutline(int64_t x, int64_t y) const {
    return !Contains(x - 1, y) || !Contains(x + 1, y) || !Contains(x, y - 1) || !Contains(x, y + 1);
  }
};

}  // namespace

extern "C" {

WINAPI_EXPORT BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom) {
  std::lock_guard lock(GdiMutex());
  DeviceContext* context = FindDcLocked(dc);
  if (!context) return FALSE;
  EllipseShape shape{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  if (shape.right - shape.left > kLargestEllipse || shape.bottom - shape.top > kLargestEllipse) return FALSE;
  const SurfaceBits& bits = context->bits;
  const uint32_t fill = RgbOf(context->brush->color), outline = RgbOf(context->pen->color);
  const int64_t firstY = std::max<int64_t>(shape.top, 0), lastY = std::min<int64_t>(shape.bottom, bits.height);
  const int64_t firstX = std::max<int64_t>(shape.left, 0), lastX = std::min<int64_t>(shape.right, bits.width);
  for (int64_t y = firstY; y < lastY; ++y) {
    for (int64_t x = firstX; x < lastX; ++x) {
      if (shape.Contains(x, y)) PutPixel(bits, x, y, shape.OnOutline(x, y) ? outline : fill);
    }
  }
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  if (length < 0 || (!text && length > 0)) return FALSE;
  std::lock_guard lock(GdiMutex());
  DeviceContext* context = FindDcLocked(dc);
  if (!context) return FALSE;
  const SurfaceBits& bits = context->bits;
  const uint32_t ink = RgbOf(context->textColor), paper = RgbOf(context->backgroundColor);
  const int cellWidth = context->font->cellWidth, cellHeight = context->font->cellHeight;
  for (int i = 0; i < length; ++i) {
    const auto code = static_cast<unsigned char>(text[i]);
    const int glyph = (code >= kFontFirstChar && code < kFontFirstChar + kFontGlyphCount ? code : '?') - kFontFirstChar;
    const int64_t cellX = x + static_cast<int64_t>(i) * cellWidth;
    if (cellX >= bits.width) break;
    // Each cell pixel shows the glyph bit under its centre.
    for (int row = 0; row < cellHeight; ++row) {
      uint8_t bitsOfRow = kFont8x16[glyph][(2 * row + 1) * kFontCellHeight / (2 * cellHeight)];
      if (context->font->bold) bitsOfRow |= bitsOfRow >> 1;
      for (int column = 0; column < cellWidth; ++column) {
        const bool set = bitsOfRow & (0x80 >> ((2 * column + 1) * kFontCellWidth / (2 * cellWidth)));
        if (set || context->backgroundMode == OPAQUE) {
          PutPixel(bits, cellX + column, int64_t{y} + row, set ? ink : paper);
        }
      }
    }
  }
  return TRUE;
}
}
