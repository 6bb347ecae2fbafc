// DirectDraw surfaces: creation, reference counting, Lock and Unlock,
// device contexts, loss and restoration, and the clipper. Off-screen rows
// are padded past their pixels, as display drivers do, so that code which
// ignores the pitch shows it at once.
#include "ddraw_surface.h"

#include <cstring>
#include <mutex>

#include "ddraw_clipper.h"
#include "ddraw_display.h"
#include "gdi_dc.h"

namespace platform {
namespace {

constexpr int kRowPadding = 16;

int PitchFor(const PixelLayout& layout, int width) {
  const int row = width * layout.BytesPerPixel();
  return (row + 3) / 4 * 4 + kRowPadding;
}

}  // namespace

DirectDrawSurface::DirectDrawSurface(uint64_t owner, const PlatformDisplayMode& mode, bool primary, int width,
                                     int height, DWORD caps)
    : owner_(owner),
      primary_(primary),
      layout_(LayoutOf(mode)),
      width_(width),
      height_(height),
      caps_(caps),
      pitch_(primary ? width * layout_.BytesPerPixel() : PitchFor(layout_, width)) {
  if (!primary) pixels_.assign(static_cast<size_t>(pitch_) * height, 0);
  std::lock_guard lock(DisplayMutex());
  RegisterSurfaceLocked(this);
}

DirectDrawSurface::~DirectDrawSurface() {
  DirectDrawClipper* clipper;
  {
    std::lock_guard lock(DisplayMutex());
    UnregisterSurfaceLocked(this);
    if (dc_) DeleteSurfaceDc(dc_);
    clipper = clipper_;
  }
  if (clipper) clipper->Release();
}

DirectDrawSurface* DirectDrawSurface::CreatePrimary(uint64_t owner, const PlatformDisplayMode& mode) {
  return new DirectDrawSurface(owner, mode, true, mode.width, mode.height,
                               DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY);
}

DirectDrawSurface* DirectDrawSurface::CreateOffscreen(uint64_t owner, const PlatformDisplayMode& mode, int width,
                                                      int height, DWORD caps) {
  return new DirectDrawSurface(owner, mode, false, width, height, caps);
}

HRESULT WINAPI DirectDrawSurface::QueryInterface(REFIID, LPVOID* object) {
  if (object) *object = nullptr;
  return E_NOINTERFACE;
}

ULONG WINAPI DirectDrawSurface::AddRef() { return ++references_; }

ULONG WINAPI DirectDrawSurface::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

void DirectDrawSurface::DescribeLocked(DDSURFACEDESC2* desc) const {
  std::memset(desc, 0, sizeof *desc);
  desc->dwSize = sizeof *desc;
  desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
  desc->dwWidth = static_cast<DWORD>(width_);
  desc->dwHeight = static_cast<DWORD>(height_);
  desc->lPitch = pitch_;
  desc->ddsCaps.dwCaps = caps_;
  DDPIXELFORMAT& format = desc->ddpfPixelFormat;
  format.dwSize = sizeof format;
  format.dwFlags = layout_.flags;
  format.dwRGBBitCount = layout_.bitsPerPixel;
  format.dwRBitMask = layout_.redMask;
  format.dwGBitMask = layout_.greenMask;
  format.dwBBitMask = layout_.blueMask;
}

HRESULT WINAPI DirectDrawSurface::Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD, HANDLE) {
  std::lock_guard lock(DisplayMutex());
  ++CountersLocked().locks;
  if (!desc || desc->dwSize != sizeof *desc) return DDERR_INVALIDPARAMS;
  if (primary_) return DDERR_UNSUPPORTED;  // the simulated screen keeps no pixels of its own
  if (lost_) return DDERR_SURFACELOST;
  if (BusyLocked()) return DDERR_SURFACEBUSY;
  int left = 0, top = 0;
  if (rect) {
    if (rect->left < 0 || rect->top < 0 || rect->right > width_ || rect->bottom > height_ ||
        rect->left >= rect->right || rect->top >= rect->bottom) {
      return DDERR_INVALIDRECT;
    }
    left = rect->left;
    top = rect->top;
  }
  DescribeLocked(desc);
  desc->dwFlags |= DDSD_LPSURFACE;
  desc->lpSurface = pixels_.data() + static_cast<size_t>(top) * pitch_ + left * layout_.BytesPerPixel();
  locked_ = true;
  return DD_OK;
}

HRESULT WINAPI DirectDrawSurface::Unlock(LPRECT) {
  std::lock_guard lock(DisplayMutex());
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  return DD_OK;
}

HRESULT WINAPI DirectDrawSurface::GetDC(HDC* dc) {
  if (!dc) return DDERR_INVALIDPARAMS;
  *dc = nullptr;
  std::lock_guard lock(DisplayMutex());
  ++CountersLocked().deviceContexts;
  if (primary_) return DDERR_CANTCREATEDC;
  if (lost_) return DDERR_SURFACELOST;
  if (dc_) return DDERR_DCALREADYCREATED;
  if (locked_) return DDERR_SURFACEBUSY;
  dc_ = CreateSurfaceDc(SurfaceBits{pixels_.data(), pitch_, width_, height_, layout_});
  if (!dc_) return DDERR_CANTCREATEDC;
  *dc = dc_;
  return DD_OK;
}

HRESULT WINAPI DirectDrawSurface::ReleaseDC(HDC dc) {
  std::lock_guard lock(DisplayMutex());
  if (!dc_ || dc != dc_) return DDERR_NODC;
  DeleteSurfaceDc(dc_);
  dc_ = nullptr;
  return DD_OK;
}

HRESULT WINAPI DirectDrawSurface::IsLost() {
  std::lock_guard lock(DisplayMutex());
  return lost_ ? DDERR_SURFACELOST : DD_OK;
}

HRESULT DirectDrawSurface::RestoreLocked() {
  ++CountersLocked().restores;
  if (RestoreFailsLocked()) return DDERR_WRONGMODE;
  lost_ = false;
  return DD_OK;
}

HRESULT WINAPI DirectDrawSurface::Restore() {
  std::lock_guard lock(DisplayMutex());
  return RestoreLocked();
}

HRESULT WINAPI DirectDrawSurface::SetClipper(LPDIRECTDRAWCLIPPER clipper) {
  DirectDrawClipper* attached = nullptr;
  if (clipper) {
    attached = dynamic_cast<DirectDrawClipper*>(clipper);
    if (!attached) return DDERR_INVALIDOBJECT;
    attached->AddRef();
  }
  DirectDrawClipper* previous;
  {
    std::lock_guard lock(DisplayMutex());
    previous = clipper_;
    clipper_ = attached;
  }
  if (previous) previous->Release();
  return DD_OK;
}

}  // namespace platform
