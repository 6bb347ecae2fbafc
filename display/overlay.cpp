// DrawOverlay: the recording dot and the device time over each picture,
// both sized to the picture so that they read the same once the picture
// is stretched into a tile of any size.
#include "overlay.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr COLORREF kIndicatorGreen = 0x0000FF00;
// The layout was drawn for a 288-line picture: 16-pixel glyphs, text at
// (10, 10), a 20-pixel dot 8 pixels down and 4 in from the right edge.
// Other pictures get the same proportions: glyphs of 1/18 of the height,
// never smaller than 16 pixels nor so wide that the text crosses the dot,
// and a dot in units of 1/72 of the height.
constexpr int32_t kMinGlyphHeight = 16;
constexpr int32_t kHeightPerGlyph = 18;
constexpr int32_t kWidthPerGlyph = 12;
constexpr int32_t kTextOffsetPerGlyph16 = 10;  // text position, for a 16-pixel glyph
constexpr int32_t kDotUnitsPerHeight = 72;
constexpr int kTextLength = 19;  // "YYYY/MM/DD hh:mm:ss"

// `units` 72nds of the picture height, rounded.
int32_t DotUnits(int32_t height, int32_t units) {
  return static_cast<int32_t>((int64_t{height} * units + kDotUnitsPerHeight / 2) / kDotUnitsPerHeight);
}

}  // namespace

int32_t OverlayGlyphHeight(int32_t width, int32_t height) {
  const int32_t byHeight = (height + kHeightPerGlyph / 2) / kHeightPerGlyph;
  return std::max(kMinGlyphHeight, std::min(byHeight, width / kWidthPerGlyph));
}

int32_t OverlayTextOffset(int32_t width, int32_t height) {
  return (OverlayGlyphHeight(width, height) * kTextOffsetPerGlyph16 + kMinGlyphHeight / 2) / kMinGlyphHeight;
}

RECT RecordingIndicatorRect(int32_t width, int32_t height) {
  return RECT{width - DotUnits(height, 6), DotUnits(height, 2), width - DotUnits(height, 1), DotUnits(height, 7)};
}

void CALLBACK DrawOverlay(HDC dc, uint32_t* pictureSize, void* context) {
  if (!dc || !context || !pictureSize) return;
  const auto& source = *static_cast<const OverlaySource*>(context);
  const auto width = static_cast<int32_t>(pictureSize[0]), height = static_cast<int32_t>(pictureSize[1]);
  SetBkMode(dc, TRANSPARENT);
  if (source.OverlayIsRecording()) {
    const RECT dot = RecordingIndicatorRect(width, height);
    HBRUSH brush = CreateSolidBrush(kIndicatorGreen);
    HGDIOBJ previous = SelectObject(dc, brush);
    Ellipse(dc, dot.left, dot.top, dot.right, dot.bottom);
    SelectObject(dc, previous);
    DeleteObject(brush);
  }
  const SYSTEMTIME time = source.OverlayDeviceTime();
  char text[48];
  const int length = std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", time.wYear, time.wMonth,
                                   time.wDay, time.wHour, time.wMinute, time.wSecond);
  const int32_t glyphHeight = OverlayGlyphHeight(width, height);
  // Bold: a stroke of one glyph pixel could fall between the pixels that a
  // tile several times smaller than the picture samples.
  HFONT font = CreateFontA(glyphHeight, glyphHeight / 2, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN,
                           nullptr);
  HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
  const int32_t offset = OverlayTextOffset(width, height);
  TextOutA(dc, offset, offset, text, std::min(length, kTextLength));
  if (font) {
    SelectObject(dc, previousFont);
    DeleteObject(font);
  }
}
