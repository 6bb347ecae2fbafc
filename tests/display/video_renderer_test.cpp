// VideoRenderer against the simulated display: where pictures land in the
// window, how the destination meets the screen edges, lost surfaces, the
// display formats, and the messages a user sees.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "display_test_support.h"
#include "picture_copy.h"
#include "tests/common/guard_page.h"
#include "video_renderer.h"

using namespace display_test;

namespace {

class VideoRendererTest : public testing::Test {
 protected:
  void SetUp() override { UseMode(Mode32()); }
  void TearDown() override {
    PlatformSetDisplayMode(nullptr);
    PlatformSetRestoreFails(FALSE);
    PlatformSetVideoMemoryFull(FALSE);
    PlatformSetDirectDrawFails(FALSE);
  }
  void UseMode(const PlatformDisplayMode& mode) { PlatformSetDisplayMode(&mode); }

  static PlatformDisplayCounters Counters() {
    PlatformDisplayCounters counters;
    PlatformGetDisplayCounters(&counters);
    return counters;
  }

  MessageBoxes messages;
};

// Draws `picture` through a fresh renderer configured to its size.
int32_t DrawOnce(HWND window, Picture& picture) {
  VideoRenderer renderer;
  EXPECT_EQ(renderer.Initialize(), 1);
  EXPECT_EQ(renderer.Configure(window, picture.width, picture.height, kFormatRgb), 1);
  return renderer.DrawPicture(picture.bgr.data(), nullptr);
}

TEST_F(VideoRendererTest, PictureFillsAWindowOfItsOwnSize) {
  TestWindow window(40, 30, 352, 288);
  Picture picture = GradientPicture(352, 288);
  const vkt::test::BytesAgainstAGuardPage guarded(picture.bgr.data(), picture.bgr.size());
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  ASSERT_EQ(renderer.DrawPicture(guarded.bytes(), nullptr), DD_OK);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  ASSERT_EQ(pixels.size(), 352u * 288u);
  for (int y = 0; y < 288; ++y) {
    for (int x = 0; x < 352; ++x) ASSERT_EQ(pixels[y * 352 + x], picture.RgbAt(x, y)) << x << "," << y;
  }
  EXPECT_TRUE(messages.Take().empty());
}

TEST_F(VideoRendererTest, PictureIsStretchedOverALargerWindow) {
  TestWindow window(10, 20, 704, 576);
  Picture picture = GradientPicture(352, 288);
  ASSERT_EQ(DrawOnce(window.handle(), picture), DD_OK);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  ASSERT_EQ(pixels.size(), 704u * 576u);
  for (int y = 0; y < 576; ++y) {
    for (int x = 0; x < 704; ++x) ASSERT_EQ(pixels[y * 704 + x], picture.RgbAt(x / 2, y / 2)) << x << "," << y;
  }
}

TEST_F(VideoRendererTest, HiddenWindowGetsNothing) {
  TestWindow window(0, 0, 352, 288);
  Picture picture = QuadrantPicture(352, 288);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  ShowWindow(window.handle(), SW_HIDE);
  const PlatformDisplayCounters before = Counters();
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), 4);  // kDrawWindowHidden, as documented
  const PlatformDisplayCounters after = Counters();
  EXPECT_EQ(after.locks, before.locks);
  EXPECT_EQ(after.blits, before.blits);
  EXPECT_EQ(after.deviceContexts, before.deviceContexts);
  EXPECT_EQ(window.ReadPixels(), std::vector<uint32_t>(352 * 288, 0));
  // Shown again, the next picture is drawn whole.
  ShowWindow(window.handle(), SW_SHOW);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  for (int y = 0; y < 288; y += 7) {
    for (int x = 0; x < 352; x += 5) ASSERT_EQ(pixels[y * 352 + x], picture.RgbAt(x, y)) << x << "," << y;
  }
}

// One renderer configured to one picture size after another (smaller,
// back, larger) fills the window as a fresh renderer of each size does.
TEST_F(VideoRendererTest, ReconfiguredSizesDrawAsAFreshRenderer) {
  TestWindow window(0, 0, 352, 288), reference(400, 0, 352, 288);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  const struct { uint32_t width, height; } sizes[] = {{352, 288}, {176, 144}, {352, 288}, {704, 576}, {88, 72}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
    Picture picture = GradientPicture(size.width, size.height);
    ASSERT_EQ(renderer.Configure(window.handle(), size.width, size.height, kFormatRgb), 1);
    ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
    ASSERT_EQ(DrawOnce(reference.handle(), picture), DD_OK);
    EXPECT_EQ(window.ReadPixels(), reference.ReadPixels());
  }
}

TEST_F(VideoRendererTest, DestroyedWindowIsReported) {
  TestWindow window(0, 0, 352, 288);
  Picture picture = QuadrantPicture(352, 288);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  window.Destroy();
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), kDrawNoWindow);
}

TEST_F(VideoRendererTest, DestinationIsCutAtTheScreenEdges) {
  // The client area reaches 228 pixels past the right edge and 220 past the
  // bottom: the whole picture is squeezed into the part on the screen.
  TestWindow window(900, 700, 352, 288);
  Picture picture = QuadrantPicture(352, 288);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  const RECT dest = renderer.DestinationRect();
  EXPECT_EQ(dest.left, 900);
  EXPECT_EQ(dest.top, 700);
  EXPECT_EQ(dest.right, 1024);
  EXPECT_EQ(dest.bottom, 768);

  const std::vector<uint32_t> pixels = window.ReadPixels();
  auto at = [&](int x, int y) { return pixels[y * 352 + x]; };
  EXPECT_EQ(at(10, 10), 0xFF0000u);
  EXPECT_EQ(at(110, 10), 0x00FF00u);
  EXPECT_EQ(at(10, 60), 0x0000FFu);
  EXPECT_EQ(at(110, 60), 0xFFFF00u);
  EXPECT_EQ(at(123, 67), 0xFFFF00u);
  EXPECT_EQ(at(124, 10), 0u);  // off the screen: never drawn
  EXPECT_EQ(at(10, 68), 0u);
  EXPECT_EQ(at(300, 250), 0u);
}

TEST_F(VideoRendererTest, WindowLeftOfOrAboveTheScreenGetsTheFixedEdges) {
  struct Case {
    int x, y;
    RECT expected;
    HRESULT drawn;
  };
  // An edge exactly on the screen's stays there: an empty destination,
  // which the blit refuses.
  const Case cases[] = {{-500, 100, {0, 100, 276, 388}, DD_OK},
                        {100, -400, {100, 0, 452, 232}, DD_OK},
                        {-352, 100, {0, 100, 0, 388}, DDERR_INVALIDRECT},
                        {100, -288, {100, 0, 452, 0}, DDERR_INVALIDRECT}};
  Picture picture = QuadrantPicture(352, 288);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    TestWindow window(c.x, c.y, 352, 288);
    VideoRenderer renderer;
    ASSERT_EQ(renderer.Initialize(), 1);
    ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
    EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), c.drawn);
    const RECT dest = renderer.DestinationRect();
    EXPECT_EQ(dest.left, c.expected.left);
    EXPECT_EQ(dest.top, c.expected.top);
    EXPECT_EQ(dest.right, c.expected.right);
    EXPECT_EQ(dest.bottom, c.expected.bottom);
  }
  // The clipper keeps the blit out of a window that is wholly off the screen.
  TestWindow offScreen(-500, 100, 352, 288);
  ASSERT_EQ(DrawOnce(offScreen.handle(), picture), DD_OK);
  EXPECT_EQ(offScreen.ReadPixels(), std::vector<uint32_t>(352 * 288, 0));
}

TEST_F(VideoRendererTest, LostSurfaceIsRestoredOrTheFrameDropped) {
  TestWindow window(0, 0, 352, 288);
  Picture first = SolidPicture(352, 288, 0x102030);
  Picture second = SolidPicture(352, 288, 0x405060);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  ASSERT_EQ(renderer.DrawPicture(first.bgr.data(), nullptr), DD_OK);

  PlatformLoseSurfaces();
  PlatformSetRestoreFails(TRUE);
  EXPECT_EQ(renderer.DrawPicture(second.bgr.data(), nullptr), 5);  // kDrawSurfaceUnusable, as documented
  EXPECT_EQ(window.ReadPixels()[0], 0x102030u);  // the dropped frame never reached the window

  PlatformSetRestoreFails(FALSE);
  const DWORD restoresBefore = Counters().restores;
  EXPECT_EQ(renderer.DrawPicture(second.bgr.data(), nullptr), DD_OK);
  EXPECT_GT(Counters().restores, restoresBefore);
  EXPECT_EQ(window.ReadPixels()[0], 0x405060u);
}

TEST_F(VideoRendererTest, FallsBackToSystemMemory) {
  PlatformSetVideoMemoryFull(TRUE);
  TestWindow window(0, 0, 352, 288);
  Picture picture = GradientPicture(352, 288);
  EXPECT_EQ(DrawOnce(window.handle(), picture), DD_OK);
  EXPECT_EQ(window.ReadPixels()[5 * 352 + 7], picture.RgbAt(7, 5));
}

TEST_F(VideoRendererTest, TwentyFourBitDisplayShowsThePicture) {
  UseMode(PlatformDisplayMode{1024, 768, 24, DDPF_RGB, 0xFF0000, 0x00FF00, 0x0000FF});
  TestWindow window(0, 0, 176, 144);
  Picture picture = GradientPicture(176, 144);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 176, 144, kFormatRgb), 1);
  EXPECT_EQ(renderer.PixelCode(), kPixel24Bit);
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  for (int y = 0; y < 144; ++y) {
    for (int x = 0; x < 176; ++x) ASSERT_EQ(pixels[y * 176 + x], picture.RgbAt(x, y));
  }
}

TEST_F(VideoRendererTest, SixteenBitDisplaysShowThePictureColours) {
  struct Case {
    PlatformDisplayMode mode;
    int32_t pixelCode;
    int greenTolerance;
  };
  for (const Case& c : {Case{Mode16(0x7C00, 0x03E0, 0x001F), kPixel16Bit555, 8},
                        Case{Mode16(0xF800, 0x07E0, 0x001F), kPixel16Bit565, 4}}) {
    UseMode(c.mode);
    TestWindow window(0, 0, 352, 288);
    Picture picture = GradientPicture(352, 288);
    VideoRenderer renderer;
    ASSERT_EQ(renderer.Initialize(), 1);
    ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
    EXPECT_EQ(renderer.PixelCode(), c.pixelCode);
    ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
    const std::vector<uint32_t> pixels = window.ReadPixels();
    for (int y = 0; y < 288; ++y) {
      for (int x = 0; x < 352; ++x) {
        const uint32_t shown = pixels[y * 352 + x], wanted = picture.RgbAt(x, y);
        ASSERT_LE(ColourDistance(shown & 0xFF00FF, wanted & 0xFF00FF), 8) << c.pixelCode << " " << x << "," << y;
        ASSERT_LE(ColourDistance(shown & 0x00FF00, wanted & 0x00FF00), c.greenTolerance);
      }
    }
  }
  EXPECT_TRUE(messages.Take().empty());
}

TEST_F(VideoRendererTest, OtherSixteenBitMasksFailOnceWithAMessage) {
  UseMode(Mode16(0x001F, 0x07E0, 0xF800));  // blue in the high bits
  TestWindow window(0, 0, 352, 288);
  Picture picture = QuadrantPicture(352, 288);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  EXPECT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 0);
  EXPECT_EQ(messages.Take(),
            std::vector<std::string>{"Error|CreateDirectDraw surface (RGB) failed, Error = FFFFFFFE\n"});

  const DWORD locksBefore = Counters().locks;
  EXPECT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 0);
  EXPECT_EQ(Counters().locks, locksBefore);  // no second attempt
  EXPECT_TRUE(messages.Take().empty());
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), kDrawNoSurface);

  // Another format code tries again, but the message is never shown twice.
  EXPECT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatYuy2), 0);
  EXPECT_GT(Counters().locks, locksBefore);
  EXPECT_TRUE(messages.Take().empty());
}

TEST_F(VideoRendererTest, UnusableDisplayFormatsAreReported) {
  TestWindow window(0, 0, 64, 48);
  {
    UseMode(PlatformDisplayMode{1024, 768, 8, DDPF_RGB | DDPF_PALETTEINDEXED8, 0, 0, 0});
    setenv("VKT_DEBUG_OUTPUT", "1", 1);
    testing::internal::CaptureStderr();
    VideoRenderer renderer;
    ASSERT_EQ(renderer.Initialize(), 1);
    EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatYv12), 0);
    const std::string debug = testing::internal::GetCapturedStderr();
    unsetenv("VKT_DEBUG_OUTPUT");
    EXPECT_NE(debug.find("dwRGBBitCount = 8 dwRGBBitCount = 0000 ddsd.lPitch = "), std::string::npos) << debug;
    EXPECT_EQ(messages.Take(),
              std::vector<std::string>{"Error|CreateDirectDraw surface (YV12) failed, Error = FFFFFFFC\n"});
  }
  {
    UseMode(PlatformDisplayMode{1024, 768, 16, DDPF_FOURCC, 0, 0, 0});
    VideoRenderer renderer;
    ASSERT_EQ(renderer.Initialize(), 1);
    EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatUyvy), 0);
    EXPECT_EQ(messages.Take(),
              std::vector<std::string>{"Error|CreateDirectDraw surface (UYVY) failed, Error = FFFFFFFD\n"});
  }
  {
    // No DirectDraw object at all; then a clipper refused after the
    // surface was made, reported with the renderer's own code.
    UseMode(Mode32());
    VideoRenderer renderer;
    PlatformSetDirectDrawFails(TRUE);
    EXPECT_EQ(renderer.Initialize(), 0);
    PlatformSetDirectDrawFails(FALSE);
    ASSERT_EQ(renderer.Initialize(), 1);
    PlatformSetDirectDrawFails(TRUE);
    EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatYuy2), 0);
    EXPECT_EQ(messages.Take(),
              std::vector<std::string>{"Error|CreateDirectDraw surface (YUY2) failed, Error = FFFFFFFF\n"});
  }
}

TEST_F(VideoRendererTest, ConfigureRefusesBadArguments) {
  TestWindow window(0, 0, 64, 48);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  EXPECT_EQ(renderer.Configure(window.handle(), 0, 48, kFormatRgb), 0);
  EXPECT_EQ(renderer.Configure(window.handle(), 64, 0, kFormatRgb), 0);
  EXPECT_EQ(renderer.Configure(nullptr, 64, 48, kFormatRgb), 0);
  EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, 4), 0);
  EXPECT_TRUE(messages.Take().empty());
  Picture picture = QuadrantPicture(64, 48);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), kDrawNoSurface);
  // A later good configuration works, and a repeated one replaces the surface.
  EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatRgb), 1);
  EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatRgb), 1);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  EXPECT_EQ(renderer.DrawPicture(nullptr, nullptr), kDrawSurfaceUnusable);

  // A refused Configure stores its size but keeps the older, smaller
  // surface: the larger picture fills that surface and is not written past it.
  Picture larger = SolidPicture(128, 96, 0x204060);
  EXPECT_EQ(renderer.Configure(window.handle(), 128, 96, 4), 0);
  EXPECT_EQ(renderer.DrawPicture(larger.bgr.data(), nullptr), DD_OK);
  EXPECT_EQ(window.ReadPixels(), std::vector<uint32_t>(64 * 48, 0x204060));
}

TEST_F(VideoRendererTest, UninitialisedRendererDrawsNothing) {
  TestWindow window(0, 0, 64, 48);
  VideoRenderer renderer;
  EXPECT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatRgb), 0);
  Picture picture = QuadrantPicture(64, 48);
  EXPECT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), kDrawNoSurface);
}

struct CallbackRecord {
  int calls = 0;
  uint32_t width = 0, height = 0;
  void* context = nullptr;
};

void CALLBACK RecordCall(HDC dc, uint32_t* size, void* context) {
  auto* record = static_cast<CallbackRecord*>(context);
  ++record->calls;
  record->width = size[0];
  record->height = size[1];
  record->context = context;
  size[0] = size[1] = 0;  // must not shrink the renderer's copy of later pictures
  SetBkMode(dc, TRANSPARENT);
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  HGDIOBJ previous = SelectObject(dc, brush);
  Ellipse(dc, 0, 0, 8, 8);
  SelectObject(dc, previous);
  DeleteObject(brush);
}

TEST_F(VideoRendererTest, DrawCallbackPaintsOverThePicture) {
  TestWindow window(0, 0, 176, 144);
  Picture picture = SolidPicture(176, 144, 0x808080);
  CallbackRecord record;
  VideoRenderer renderer;
  EXPECT_EQ(renderer.SetDrawCallback(RecordCall, &record), 1);
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 176, 144, kFormatRgb), 1);
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  EXPECT_EQ(record.calls, 1);
  EXPECT_EQ(record.width, 176u);
  EXPECT_EQ(record.height, 144u);
  EXPECT_EQ(record.context, &record);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  EXPECT_EQ(pixels[4 * 176 + 4], 0x0000FFu);
  EXPECT_EQ(pixels[4 * 176 + 20], 0x808080u);

  renderer.SetDrawCallback(nullptr, nullptr);
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  EXPECT_EQ(record.calls, 1);
  EXPECT_EQ(window.ReadPixels()[4 * 176 + 4], 0x808080u);
}

TEST_F(VideoRendererTest, SourceRectangleSelectsPartOfThePicture) {
  TestWindow window(0, 0, 352, 288);
  Picture picture = QuadrantPicture(352, 288);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  RECT bottomRight{176, 144, 352, 288};
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), &bottomRight), DD_OK);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  EXPECT_EQ(pixels[0], 0xFFFF00u);
  EXPECT_EQ(pixels[287 * 352 + 351], 0xFFFF00u);
}

}  // namespace

namespace {

void CALLBACK CountCall(HDC, uint32_t*, void* context) { ++*static_cast<std::atomic<int>*>(context); }

// Pictures arrive on a decoder's thread while the window thread changes the
// draw callback and hides, moves and shows the window.
TEST_F(VideoRendererTest, DrawingThreadRacesWindowChanges) {
  TestWindow window(0, 0, 176, 144);
  Picture picture = SolidPicture(176, 144, 0x336699);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 176, 144, kFormatRgb), 1);
  std::atomic<int> calls{0};
  std::atomic<bool> stop{false};
  std::thread drawer([&] {
    while (!stop) {
      const int32_t result = renderer.DrawPicture(picture.bgr.data(), nullptr);
      ASSERT_TRUE(result == DD_OK || result == kDrawWindowHidden) << result;
    }
  });
  for (int i = 0; i < 200; ++i) {
    renderer.SetDrawCallback(i % 2 ? CountCall : nullptr, i % 2 ? &calls : nullptr);
    ShowWindow(window.handle(), i % 3 ? SW_SHOW : SW_HIDE);
    MoveWindow(window.handle(), i % 50, i % 30, 176 + i % 7, 144, TRUE);
    std::this_thread::yield();
  }
  ShowWindow(window.handle(), SW_SHOW);
  renderer.SetDrawCallback(nullptr, nullptr);
  stop = true;
  drawer.join();
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  const std::vector<uint32_t> pixels = window.ReadPixels();
  EXPECT_EQ(pixels, std::vector<uint32_t>(pixels.size(), 0x336699));
}

}  // namespace
