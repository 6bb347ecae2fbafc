// The simulated DirectDraw and GDI directly, where the renderer's tests do
// not reach: surface state rules, GDI handle safety, text background modes,
// and PNG snapshots of a window.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>

#include "ddraw_loader.h"
#include "display_test_support.h"
#include "video_renderer.h"

using namespace display_test;

namespace {

class DirectDrawTest : public testing::Test {
 protected:
  void SetUp() override { SetUpWith(Mode32()); }
  void SetUpWith(const PlatformDisplayMode& mode) {
    PlatformSetDisplayMode(&mode);
    LoadDirectDrawModule();
    LPVOID object = nullptr;
    ASSERT_EQ(DirectDrawCreateEntry()(nullptr, &object, IID_IDirectDraw7, nullptr), DD_OK);
    directDraw = static_cast<IDirectDraw7*>(object);
    ASSERT_EQ(directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = 40;
    desc.dwHeight = 20;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ASSERT_EQ(directDraw->CreateSurface(&desc, &surface, nullptr), DD_OK);
  }
  void TearDown() override {
    if (surface) surface->Release();
    if (directDraw) directDraw->Release();
    PlatformSetDisplayMode(nullptr);
  }

  IDirectDraw7* directDraw = nullptr;
  IDirectDrawSurface7* surface = nullptr;
};

TEST_F(DirectDrawTest, LockDeviceContextAndLossExcludeEachOther) {
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
  EXPECT_GE(locked.lPitch, 40 * 4);
  EXPECT_EQ(locked.ddpfPixelFormat.dwRGBBitCount, 32u);
  HDC dc = nullptr;
  EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACEBUSY);
  EXPECT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  ASSERT_EQ(surface->Unlock(nullptr), DD_OK);
  EXPECT_EQ(surface->Unlock(nullptr), DDERR_NOTLOCKED);
  // A rectangle may reach the right edge (40), not pass it.
  for (RECT rect : {RECT{39, 0, 40, 1}, RECT{0, 0, 40, 1}}) {
    ASSERT_EQ(surface->Lock(&rect, &locked, DDLOCK_WAIT, nullptr), DD_OK) << rect.left;
    ASSERT_EQ(surface->Unlock(&rect), DD_OK);
  }
  RECT past{0, 0, 41, 1};
  EXPECT_EQ(surface->Lock(&past, &locked, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);

  ASSERT_EQ(surface->GetDC(&dc), DD_OK);
  EXPECT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(TextOutA(dc, 0, 0, "x", 1), FALSE);  // a released context is refused

  PlatformLoseSurfaces();
  EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  EXPECT_EQ(directDraw->RestoreAllSurfaces(), DD_OK);
  EXPECT_EQ(surface->IsLost(), DD_OK);
}

TEST_F(DirectDrawTest, SelectedBrushIsNotDeleted) {
  HDC dc = nullptr;
  ASSERT_EQ(surface->GetDC(&dc), DD_OK);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HGDIOBJ previous = SelectObject(dc, brush);
  ASSERT_NE(previous, nullptr);
  EXPECT_EQ(DeleteObject(brush), FALSE);
  EXPECT_EQ(SelectObject(dc, previous), static_cast<HGDIOBJ>(brush));
  EXPECT_EQ(DeleteObject(brush), TRUE);
  EXPECT_EQ(SelectObject(dc, brush), nullptr);  // gone
  EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
}

// An 8-bit display keeps grey levels: a colour drawn there becomes its
// luma, (77 R + 150 G + 29 B) >> 8.
class GreyDirectDrawTest : public DirectDrawTest {
 protected:
  void SetUp() override { SetUpWith(PlatformDisplayMode{1024, 768, 8, 0, 0, 0, 0}); }
};

TEST_F(GreyDirectDrawTest, DrawnColoursBecomeTheirLuma) {
  struct Case {
    COLORREF colour;
    uint8_t grey;
  };
  for (const Case& c : {Case{RGB(0, 255, 0), 149}, Case{RGB(255, 0, 0), 76}, Case{RGB(0, 0, 255), 28},
                        Case{RGB(255, 255, 255), 255}}) {
    HDC dc = nullptr;
    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    HBRUSH brush = CreateSolidBrush(c.colour);
    HGDIOBJ previous = SelectObject(dc, brush);
    EXPECT_EQ(Ellipse(dc, 0, 0, 16, 16), TRUE);
    SelectObject(dc, previous);
    DeleteObject(brush);
    ASSERT_EQ(surface->ReleaseDC(dc), DD_OK);
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(static_cast<uint8_t*>(locked.lpSurface)[8 * locked.lPitch + 8], c.grey) << std::hex << c.colour;
    surface->Unlock(nullptr);
  }
}

TEST_F(DirectDrawTest, OpaqueTextFillsItsCellsTransparentTextDoesNot) {
  HDC dc = nullptr;
  for (int mode : {OPAQUE, TRANSPARENT}) {
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    auto* pixels = static_cast<uint8_t*>(locked.lpSurface);
    for (int y = 0; y < 20; ++y) std::fill_n(pixels + y * locked.lPitch, 40 * 4, 0x40);
    surface->Unlock(nullptr);

    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    SetBkMode(dc, mode);
    EXPECT_EQ(TextOutA(dc, 2, 2, "A\x01", 2), TRUE);  // the second character shows as '?'
    ASSERT_EQ(surface->ReleaseDC(dc), DD_OK);

    ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    pixels = static_cast<uint8_t*>(locked.lpSurface);
    int white = 0, black = 0, untouched = 0;
    for (int y = 2; y < 18; ++y) {
      for (int x = 2; x < 18; ++x) {
        const uint8_t blue = pixels[y * locked.lPitch + 4 * x];
        white += blue == 0xFF;
        black += blue == 0x00;
        untouched += blue == 0x40;
      }
    }
    surface->Unlock(nullptr);
    EXPECT_GT(black, 20);
    EXPECT_EQ(white + black + untouched, 16 * 16);
    EXPECT_EQ(mode == OPAQUE ? untouched : white, 0) << mode;
  }
}

TEST(WindowSnapshotTest, SavedPngHoldsTheClientPixels) {
  const PlatformDisplayMode mode = Mode32();
  PlatformSetDisplayMode(&mode);
  TestWindow window(0, 0, 64, 48);
  Picture picture = GradientPicture(64, 48);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 64, 48, kFormatRgb), 1);
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);

  const std::string path = testing::TempDir() + "snapshot_test.png";
  ASSERT_TRUE(PlatformSaveWindowPng(window.handle(), path.c_str()));
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  image.format = PNG_FORMAT_RGB;
  ASSERT_EQ(image.width, 64u);
  ASSERT_EQ(image.height, 48u);
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  std::remove(path.c_str());
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const png_byte* p = rgb.data() + (y * 64 + x) * 3;
      ASSERT_EQ(static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]), picture.RgbAt(x, y));
    }
  }
  EXPECT_FALSE(PlatformSaveWindowPng(window.handle(), "/nonexistent-directory/x.png"));
  PlatformSetDisplayMode(nullptr);
}

}  // namespace
