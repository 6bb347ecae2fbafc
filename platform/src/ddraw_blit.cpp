// Blt onto the primary surface: the only blit the renderer makes. The
// destination is in screen coordinates; the primary surface's clipper
// limits it to its window's client area (and the screen), and the stretched
// source lands in that window's client pixels. A hidden or destroyed window
// has an empty clip list: the blit succeeds and draws nothing.
#include <algorithm>
#include <mutex>

#include "ddraw_clipper.h"
#include "ddraw_display.h"
#include "ddraw_surface.h"
#include "surface_windows.h"

namespace platform {
namespace {

struct ClientArea {
  bool drawable = false;
  RECT screen{};  // client area in screen coordinates
};

// Read before the display lock is taken: the window table has its own lock.
ClientArea ClientAreaOf(HWND window) {
  ClientArea area;
  RECT client;
  POINT origin{0, 0};
  if (!window || !IsWindowVisible(window) || !GetClientRect(window, &client) || !ClientToScreen(window, &origin)) {
    return area;
  }
  area.drawable = true;
  area.screen = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  return area;
}

RECT Intersect(const RECT& a, const RECT& b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Source coordinate sampled for destination offset `d` of `destLength`
// pixels: the source pixel under the destination pixel's centre.
LONG SourceOffset(LONG d, LONG destLength, LONG sourceLength) {
  return static_cast<LONG>((2 * static_cast<int64_t>(d) + 1) * sourceLength / (2 * static_cast<int64_t>(destLength)));
}

}  // namespace

HRESULT WINAPI DirectDrawSurface::Blt(LPRECT destRect, IDirectDrawSurface7* source, LPRECT sourceRect, DWORD,
                                      LPDDBLTFX) {
  auto* from = dynamic_cast<DirectDrawSurface*>(source);
  if (!from) return DDERR_INVALIDPARAMS;  // colour fills are not offered
  if (!primary_ || from->primary_) return DDERR_UNSUPPORTED;
  HWND window = nullptr;
  {
    std::lock_guard lock(DisplayMutex());
    if (clipper_) window = clipper_->Window();
  }
  const ClientArea area = ClientAreaOf(window);

  std::lock_guard lock(DisplayMutex());
  ++CountersLocked().blits;
  if (lost_ || from->lost_) return DDERR_SURFACELOST;
  if (from->BusyLocked()) return DDERR_SURFACEBUSY;
  const RECT whole{0, 0, from->width_, from->height_};
  const RECT src = sourceRect ? *sourceRect : whole;
  if (IsEmpty(src) || src.left < 0 || src.top < 0 || src.right > from->width_ || src.bottom > from->height_) {
    return DDERR_INVALIDRECT;
  }
  const RECT screen{0, 0, width_, height_};
  const RECT dest = destRect ? *destRect : screen;
  if (IsEmpty(dest)) return DDERR_INVALIDRECT;
  if (!clipper_) {
    // Unclipped blits must stay on the screen; the screen keeps no pixels of its own.
    const bool onScreen = dest.left >= 0 && dest.top >= 0 && dest.right <= width_ && dest.bottom <= height_;
    return onScreen ? DD_OK : DDERR_INVALIDRECT;
  }
  if (!area.drawable) return DD_OK;
  const RECT clip = Intersect(Intersect(dest, area.screen), screen);
  if (IsEmpty(clip)) return DD_OK;
  from->StretchIntoWindow(src, dest, window, area.screen, clip);
  return DD_OK;
}

void DirectDrawSurface::StretchIntoWindow(const RECT& src, const RECT& dest, HWND window, const RECT& client,
                                          const RECT& clip) const {
  const LONG destWidth = dest.right - dest.left, destHeight = dest.bottom - dest.top;
  const LONG srcWidth = src.right - src.left, srcHeight = src.bottom - src.top;
  const RECT changed{clip.left - client.left, clip.top - client.top, clip.right - client.left,
                     clip.bottom - client.top};
  const bool plain32 = layout_.bitsPerPixel == 32 && layout_.redMask == 0xFF0000 && layout_.greenMask == 0xFF00 &&
                       layout_.blueMask == 0xFF;
  std::vector<LONG> columns(static_cast<size_t>(clip.right - clip.left));
  for (LONG x = clip.left; x < clip.right; ++x) {
    columns[x - clip.left] = src.left + SourceOffset(x - dest.left, destWidth, srcWidth);
  }
  PaintWindowPixels(window, client.right - client.left, client.bottom - client.top, changed,
                    [&](WindowPixels& pixels) {
                      for (LONG y = clip.top; y < clip.bottom; ++y) {
                        const LONG sy = src.top + SourceOffset(y - dest.top, destHeight, srcHeight);
                        uint32_t* out = pixels.rgb.data() + static_cast<size_t>(y - client.top) * pixels.width +
                                        (clip.left - client.left);
                        for (size_t i = 0; i < columns.size(); ++i) {
                          const uint8_t* p = PixelAt(columns[i], sy);
                          out[i] = plain32 ? (p[0] | p[1] << 8 | p[2] << 16) : ReadPixelRgb(layout_, p);
                        }
                      }
                    });
}

}  // namespace platform
