// DrawOverlay through a renderer onto a window of the picture's size, so the
// client pixels are the picture surface as the overlay left it: the date and
// time text at (10, 10) and, while recording, the green dot in its box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display_test_support.h"
#include "overlay.h"
#include "video_renderer.h"

using namespace display_test;

namespace {

constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlack = 0x000000;

// Stand-in for the H.264 session's two fields that the overlay reads.
class FakeSession : public OverlaySource {
 public:
  SYSTEMTIME OverlayDeviceTime() const override { return deviceTime; }
  bool OverlayIsRecording() const override { return recordFile != nullptr; }

  SYSTEMTIME deviceTime{2024, 3, 2, 5, 7, 8, 9, 0};
  HANDLE recordFile = nullptr;
};

// Draws a grey picture of width x height with `callback` into a window of
// the same size (or of the tile size given) and returns the client pixels.
std::vector<uint32_t> DrawWith(int width, int height, DrawCallback callback, void* context, int tileWidth = 0,
                               int tileHeight = 0) {
  TestWindow window(0, 0, tileWidth ? tileWidth : width, tileHeight ? tileHeight : height);
  Picture picture = SolidPicture(width, height, kGrey);
  VideoRenderer renderer;
  EXPECT_EQ(renderer.Initialize(), 1);
  EXPECT_EQ(renderer.Configure(window.handle(), width, height, kFormatRgb), 1);
  renderer.SetDrawCallback(callback, context);
  const DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjects) << "drawing leaks no GDI object";
  return window.ReadPixels();
}

// The bounding box of the pixels in `area` that are not grey.
RECT ChangedBox(const std::vector<uint32_t>& pixels, int width, const RECT& area) {
  RECT box{area.right, area.bottom, area.left, area.top};
  for (LONG y = area.top; y < area.bottom; ++y) {
    for (LONG x = area.left; x < area.right; ++x) {
      if (pixels[y * width + x] == kGrey) continue;
      box = RECT{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
    }
  }
  return box;
}

// `text` at (x, y) in the overlay's font at 16 pixels: the 8 x 16 glyphs, bold.
void DrawBoldText(HDC dc, int x, int y, const char* text) {
  HFONT bold = CreateFontA(16, 8, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, nullptr);
  HGDIOBJ previous = SelectObject(dc, bold);
  TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
  SelectObject(dc, previous);
  DeleteObject(bold);
}

void CALLBACK ReferenceText(HDC dc, uint32_t*, void* text) {
  SetBkMode(dc, TRANSPARENT);
  DrawBoldText(dc, 10, 10, static_cast<const char*>(text));
}

TEST(OverlayTest, DeviceTimeIsWrittenAtTheTopLeft) {
  FakeSession session;
  const std::vector<uint32_t> shown = DrawWith(352, 288, DrawOverlay, static_cast<OverlaySource*>(&session));
  char text[] = "2024/03/05 07:08:09";
  const std::vector<uint32_t> expected = DrawWith(352, 288, ReferenceText, text);
  EXPECT_EQ(shown, expected);

  // The text is black on the untouched picture, starting at (10, 10).
  const RECT box = ChangedBox(shown, 352, RECT{0, 0, 352, 288});
  EXPECT_GE(box.left, 10);
  EXPECT_GE(box.top, 10);
  EXPECT_LE(box.right, 10 + 19 * 8);
  EXPECT_LE(box.bottom, 10 + 16);
  EXPECT_LT(box.left, 10 + 8);
  EXPECT_GT(box.right, 10 + 18 * 8);
  for (uint32_t pixel : shown) ASSERT_TRUE(pixel == kGrey || pixel == kBlack);
}

TEST(OverlayTest, OtherTimesGiveOtherText) {
  FakeSession session;
  session.deviceTime = SYSTEMTIME{2009, 12, 4, 31, 23, 59, 58, 0};
  const std::vector<uint32_t> shown = DrawWith(352, 288, DrawOverlay, static_cast<OverlaySource*>(&session));
  char text[] = "2009/12/31 23:59:58";
  EXPECT_EQ(shown, DrawWith(352, 288, ReferenceText, text));
}

TEST(OverlayTest, RecordingDotFillsItsBox) {
  struct Case {
    int width, height;
    RECT dot;
  };
  FakeSession session;
  session.recordFile = reinterpret_cast<HANDLE>(static_cast<intptr_t>(7));
  for (const Case& c : {Case{352, 288, {328, 8, 348, 28}}, Case{704, 576, {656, 16, 696, 56}},
                        Case{704, 288, {680, 8, 700, 28}}, Case{176, 144, {164, 4, 174, 14}},
                        Case{1920, 1080, {1830, 30, 1905, 105}}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const RECT rect = RecordingIndicatorRect(c.width, c.height);
    EXPECT_EQ(std::memcmp(&rect, &c.dot, sizeof rect), 0);
    const std::vector<uint32_t> pixels =
        DrawWith(c.width, c.height, DrawOverlay, static_cast<OverlaySource*>(&session));
    // Right of the text, only the dot has changed, and it fills its box.
    const int textEnd = OverlayTextOffset(c.width, c.height) + 19 * (OverlayGlyphHeight(c.width, c.height) / 2);
    const RECT box = ChangedBox(pixels, c.width, RECT{textEnd, 0, c.width, c.height});
    EXPECT_EQ(box.left, c.dot.left);
    EXPECT_EQ(box.top, c.dot.top);
    EXPECT_EQ(box.right, c.dot.right);
    EXPECT_EQ(box.bottom, c.dot.bottom);
    const int centreX = (c.dot.left + c.dot.right) / 2, centreY = (c.dot.top + c.dot.bottom) / 2;
    EXPECT_EQ(pixels[centreY * c.width + centreX], kGreen);
    EXPECT_EQ(pixels[c.dot.top * c.width + centreX], kBlack);  // the pen's outline
    EXPECT_EQ(pixels[c.dot.top * c.width + c.dot.left], kGrey);  // corners stay outside the ellipse
    // Turned half round about its centre, the dot with its outline is the same.
    for (int y = c.dot.top; y < c.dot.bottom; ++y)
      for (int x = c.dot.left; x < c.dot.right; ++x)
        ASSERT_EQ(pixels[y * c.width + x],
                  pixels[(c.dot.top + c.dot.bottom - 1 - y) * c.width + c.dot.left + c.dot.right - 1 - x])
            << x << "," << y;
  }
}

TEST(OverlayTest, NotRecordingDrawsOnlyText) {
  FakeSession session;
  for (int width : {176, 352, 704}) {
    const int height = width * 9 / 11;
    const std::vector<uint32_t> pixels = DrawWith(width, height, DrawOverlay, static_cast<OverlaySource*>(&session));
    const RECT box = ChangedBox(pixels, width, RECT{0, 0, width, height});
    const int glyph = OverlayGlyphHeight(width, height), offset = OverlayTextOffset(width, height);
    EXPECT_LE(box.bottom, offset + glyph);
    EXPECT_LE(box.right, offset + 19 * (glyph / 2));
    for (uint32_t pixel : pixels) ASSERT_NE(pixel, kGreen);
  }
}

void CALLBACK GlyphSheet(HDC dc, uint32_t*, void* text) { DrawBoldText(dc, 0, 0, static_cast<const char*>(text)); }

// Pictures of every size shown in a 352 x 288 tile: the date reads back
// from the tile's pixels. Each character cell of the overlay's layout is
// compared with every candidate glyph (the bold 8 x 16 font as TextOutA
// draws it) sampled where the tile's pixels fall; the closest wins.
TEST(OverlayTest, DateReadsBackFromATileOfEverySize) {
  FakeSession session;
  session.deviceTime = SYSTEMTIME{2026, 12, 2, 8, 14, 37, 59, 0};
  static char candidates[] = "0123456789/: ";
  const int count = int(std::strlen(candidates));
  const std::vector<uint32_t> sheet = DrawWith(count * 8, 16, GlyphSheet, candidates);
  for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{704, 576}, std::pair{352, 288}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    const std::vector<uint32_t> tile = DrawWith(width, height, DrawOverlay, static_cast<OverlaySource*>(&session), 352, 288);
    const double glyph = OverlayGlyphHeight(width, height), cell = std::floor(glyph / 2);
    const double offset = OverlayTextOffset(width, height);
    std::string text;
    for (int i = 0, misses[16]; i < 19; ++i) {
      for (int k = 0; k < count; ++k) {
        misses[k] = 0;
        for (int y = 0; y < 288; ++y) {
          for (int x = 0; x < 352; ++x) {
            const double px = (x + 0.5) * width / 352 - offset - i * cell, py = (y + 0.5) * height / 288 - offset;
            if (px < 0 || px >= cell || py < 0 || py >= glyph) continue;
            const bool ink = sheet[int(py * 16 / glyph) * count * 8 + k * 8 + int(px * 8 / cell)] == kBlack;
            misses[k] += ink != (tile[y * 352 + x] == kBlack);
          }
        }
      }
      text += candidates[std::min_element(misses, misses + count) - misses];
    }
    EXPECT_EQ(text, "2026/12/08 14:37:59");
  }
}

// Glyphs of an eighteenth of the height, rounded, within their bounds; the
// text's offset grows with them from (10, 10) at 16 pixels.
TEST(OverlayTest, GlyphsFollowThePictureHeight) {
  struct Row {
    int width, height, glyph, offset;
  };
  for (const Row& row : {Row{352, 288, 16, 10}, Row{720, 480, 27, 17}, Row{1920, 1080, 60, 38},
                         Row{176, 144, 16, 10}, Row{480, 1080, 40, 25}}) {
    EXPECT_EQ(OverlayGlyphHeight(row.width, row.height), row.glyph) << row.width << "x" << row.height;
    EXPECT_EQ(OverlayTextOffset(row.width, row.height), row.offset) << row.width << "x" << row.height;
  }
}

TEST(OverlayTest, MissingContextDrawsNothing) {
  const std::vector<uint32_t> pixels = DrawWith(176, 144, DrawOverlay, nullptr);
  EXPECT_EQ(pixels, std::vector<uint32_t>(176 * 144, kGrey));
}

}  // namespace
