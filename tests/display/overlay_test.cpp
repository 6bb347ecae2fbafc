// DrawOverlay through a renderer onto a window of the picture's size, so the
// client pixels are the picture surface as the overlay left it: the date and
// time text at (10, 10) and, while recording, the green dot in its box.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

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
// the same size and returns the client pixels.
std::vector<uint32_t> DrawWith(int width, int height, DrawCallback callback, void* context) {
  TestWindow window(0, 0, width, height);
  Picture picture = SolidPicture(width, height, kGrey);
  VideoRenderer renderer;
  EXPECT_EQ(renderer.Initialize(), 1);
  EXPECT_EQ(renderer.Configure(window.handle(), width, height, kFormatRgb), 1);
  renderer.SetDrawCallback(callback, context);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
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

void CALLBACK ReferenceText(HDC dc, uint32_t*, void* text) {
  SetBkMode(dc, TRANSPARENT);
  TextOutA(dc, 10, 10, static_cast<const char*>(text), static_cast<int>(std::strlen(static_cast<const char*>(text))));
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
                        Case{704, 288, {656, 8, 696, 28}}, Case{176, 144, {164, 4, 174, 14}}}) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const RECT rect = RecordingIndicatorRect(c.width, c.height);
    EXPECT_EQ(std::memcmp(&rect, &c.dot, sizeof rect), 0);
    const std::vector<uint32_t> pixels =
        DrawWith(c.width, c.height, DrawOverlay, static_cast<OverlaySource*>(&session));
    // Right of the text, only the dot has changed, and it fills its box.
    const RECT box = ChangedBox(pixels, c.width, RECT{10 + 19 * 8, 0, c.width, c.height});
    EXPECT_EQ(box.left, c.dot.left);
    EXPECT_EQ(box.top, c.dot.top);
    EXPECT_EQ(box.right, c.dot.right);
    EXPECT_EQ(box.bottom, c.dot.bottom);
    const int centreX = (c.dot.left + c.dot.right) / 2, centreY = (c.dot.top + c.dot.bottom) / 2;
    EXPECT_EQ(pixels[centreY * c.width + centreX], kGreen);
    EXPECT_EQ(pixels[c.dot.top * c.width + centreX], kBlack);  // the pen's outline
    EXPECT_EQ(pixels[c.dot.top * c.width + c.dot.left], kGrey);  // corners stay outside the ellipse
  }
}

TEST(OverlayTest, NotRecordingDrawsOnlyText) {
  FakeSession session;
  for (int width : {176, 352, 704}) {
    const int height = width * 9 / 11;
    const std::vector<uint32_t> pixels = DrawWith(width, height, DrawOverlay, static_cast<OverlaySource*>(&session));
    const RECT box = ChangedBox(pixels, width, RECT{0, 0, width, height});
    EXPECT_LE(box.bottom, 10 + 16);
    EXPECT_LE(box.right, 10 + 19 * 8);
    for (uint32_t pixel : pixels) ASSERT_NE(pixel, kGreen);
  }
}

TEST(OverlayTest, MissingContextDrawsNothing) {
  const std::vector<uint32_t> pixels = DrawWith(176, 144, DrawOverlay, nullptr);
  EXPECT_EQ(pixels, std::vector<uint32_t>(176 * 144, kGrey));
}

}  // namespace
