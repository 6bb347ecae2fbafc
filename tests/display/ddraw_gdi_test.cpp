// The simulated DirectDraw and GDI directly, where the renderer's tests do
// not reach: surface state rules, GDI handle safety, text background modes,
// and PNG snapshots of a window.
#include <gtest/gtest.h>
#include <unistd.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>

#include "ddraw_loader.h"
#include "display_test_support.h"
#include "video_renderer.h"

using namespace display_test;

namespace {

// A primary surface of `owner`, or null.
IDirectDrawSurface7* CreatePrimary(IDirectDraw7* owner) {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  IDirectDrawSurface7* primary = nullptr;
  return owner->CreateSurface(&desc, &primary, nullptr) == DD_OK ? primary : nullptr;
}

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
  for (RECT rect : {RECT{0, 0, 41, 1}, RECT{5, 0, 5, 1}, RECT{0, 3, 1, 3}}) {  // past the edge, empty
    EXPECT_EQ(surface->Lock(&rect, &locked, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT) << rect.left;
  }

  ASSERT_EQ(surface->GetDC(&dc), DD_OK);
  EXPECT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
  EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
  EXPECT_EQ(TextOutA(dc, 0, 0, "x", 1), FALSE);  // a released context is refused

  // RestoreAllSurfaces restores its own object's surfaces, not another's.
  LPVOID object = nullptr;
  ASSERT_EQ(DirectDrawCreateEntry()(nullptr, &object, IID_IDirectDraw7, nullptr), DD_OK);
  auto* other = static_cast<IDirectDraw7*>(object);
  ASSERT_EQ(other->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
  IDirectDrawSurface7* otherSurface = CreatePrimary(other);
  ASSERT_NE(otherSurface, nullptr);
  // A reference taken and given back leaves the surface alive.
  EXPECT_EQ(surface->AddRef(), 2u);
  EXPECT_EQ(surface->Release(), 1u);
  PlatformLoseSurfaces();
  EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
  EXPECT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
  PlatformDisplayCounters before, after;
  PlatformGetDisplayCounters(&before);
  EXPECT_EQ(directDraw->RestoreAllSurfaces(), DD_OK);
  PlatformGetDisplayCounters(&after);
  EXPECT_EQ(after.restores - before.restores, 1u);
  EXPECT_EQ(surface->IsLost(), DD_OK);
  EXPECT_EQ(otherSurface->IsLost(), DDERR_SURFACELOST);
  otherSurface->Release();
  other->Release();
}

// A blit onto the clipped primary surface: what reaches the window for each
// display layout and surface state.
TEST_F(DirectDrawTest, BlitReachesOnlyAVisibleWindowFromLiveSurfaces) {
  enum Lost { kNone, kSource, kPrimary };
  struct Case {
    const char* name;
    PlatformDisplayMode mode;
    bool hidden;
    Lost lost;
    uint32_t written;  // the source's pixels
    HRESULT result;
    uint32_t shown;  // the window's pixels, 0x00RRGGBB
  };
  const Case cases[] = {
      {"32-bit", Mode32(), false, kNone, 0x00123456, DD_OK, 0x123456},
      {"32-bit, green in the top byte", {1024, 768, 32, DDPF_RGB, 0xFF0000, 0xFF000000, 0xFF}, false, kNone,
       0x12345678, DD_OK, 0x341278},
      {"hidden window", Mode32(), true, kNone, 0x00123456, DD_OK, 0},
      {"lost source", Mode32(), false, kSource, 0x00123456, DDERR_SURFACELOST, 0},
      {"lost primary", Mode32(), false, kPrimary, 0x00123456, DDERR_SURFACELOST, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    surface->Release();
    directDraw->Release();
    SetUpWith(c.mode);
    TestWindow window(0, 0, 8, 8);
    IDirectDrawSurface7* primary = CreatePrimary(directDraw);
    ASSERT_NE(primary, nullptr);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(directDraw->CreateClipper(0, &clipper, nullptr), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, window.handle()), DD_OK);
    ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
    clipper->Release();
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    ASSERT_EQ(surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DD_OK);
    for (int y = 0; y < 20; ++y) std::fill_n(static_cast<uint32_t*>(locked.lpSurface) + y * locked.lPitch / 4, 40, c.written);
    surface->Unlock(nullptr);
    if (c.hidden) ShowWindow(window.handle(), SW_HIDE);
    if (c.lost != kNone) {
      PlatformLoseSurfaces();
      (c.lost == kSource ? primary : surface)->Restore();
    }
    RECT dest{0, 0, 8, 8};
    ClientToScreen(window.handle(), reinterpret_cast<POINT*>(&dest));
    dest.right += dest.left;
    dest.bottom += dest.top;
    EXPECT_EQ(primary->Blt(&dest, surface, nullptr, DDBLT_WAIT, nullptr), c.result);
    EXPECT_EQ(window.ReadPixels(), std::vector<uint32_t>(64, c.shown));
    primary->Release();
  }
}

// Display modes the simulation takes: 8, 16, 24 or 32 bits, 1 to 16384
// pixels each way; any other falls back to the default.
TEST(DirectDrawModeTest, ModesInsideTheLimitsAreTaken) {
  struct Case {
    LONG width, height;
    DWORD bits;
    bool taken;
  };
  const Case cases[] = {{1, 1, 32, true},   {16384, 16384, 8, true}, {640, 480, 24, true}, {0, 480, 32, false},
                        {640, 0, 32, false}, {16385, 480, 32, false}, {640, 16385, 16, false}, {640, 480, 12, false}};
  LoadDirectDrawModule();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bits));
    const PlatformDisplayMode mode{c.width, c.height, c.bits, DDPF_RGB, 0xFF0000, 0xFF00, 0xFF};
    PlatformSetDisplayMode(&mode);
    LPVOID object = nullptr;
    ASSERT_EQ(DirectDrawCreateEntry()(nullptr, &object, IID_IDirectDraw7, nullptr), DD_OK);
    auto* directDraw = static_cast<IDirectDraw7*>(object);
    DDSURFACEDESC2 shown{};
    shown.dwSize = sizeof shown;
    ASSERT_EQ(directDraw->GetDisplayMode(&shown), DD_OK);
    directDraw->Release();
    const bool same = LONG(shown.dwWidth) == c.width && LONG(shown.dwHeight) == c.height &&
                      shown.ddpfPixelFormat.dwRGBBitCount == c.bits;
    EXPECT_EQ(same, c.taken);
    EXPECT_TRUE(c.taken || shown.ddpfPixelFormat.dwRGBBitCount == 32u);
  }
  PlatformSetDisplayMode(nullptr);
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
// luma, (77 R + 150 G + 29 B) >> 8, in the pixel's first byte. So does any
// layout that is not marked RGB, whatever masks it names.
class GreyDirectDrawTest : public DirectDrawTest {
 protected:
  void SetUp() override { SetUpWith(PlatformDisplayMode{1024, 768, 8, 0, 0, 0, 0}); }
};

TEST_F(GreyDirectDrawTest, DrawnColoursBecomeTheirLuma) {
  struct Case {
    COLORREF colour;
    uint8_t grey;
    bool masked = false;  // on a 32-bit layout with masks but not marked RGB
  };
  for (const Case& c : {Case{RGB(0, 255, 0), 149}, Case{RGB(255, 0, 0), 76}, Case{RGB(0, 0, 255), 28},
                        Case{RGB(255, 255, 255), 255}, Case{RGB(255, 0, 0), 76, true}}) {
    if (c.masked) {
      surface->Release();
      directDraw->Release();
      SetUpWith(PlatformDisplayMode{1024, 768, 32, 0, 0xFF0000, 0xFF00, 0xFF});
    }
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

  // Named for this process: other builds' suites may run at the same time.
  const std::string path = testing::TempDir() + "snapshot_test_" + std::to_string(getpid()) + ".png";
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
