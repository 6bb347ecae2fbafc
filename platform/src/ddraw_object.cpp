// The DirectDraw object and DirectDrawCreateEx. Each object takes the
// display mode current at its creation; its surfaces carry its id so that
// RestoreAllSurfaces restores only them.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "builtin_modules.h"
#include "ddraw_clipper.h"
#include "ddraw_display.h"
#include "ddraw_surface.h"

namespace platform {
namespace {

constexpr int kLargestSurface = 16384;
constexpr DWORD kVideoMemoryBytes = 64u << 20;

std::atomic<uint64_t> nextObjectId{1};

class DirectDraw final : public IDirectDraw7 {
 public:
  DirectDraw() : id_(nextObjectId++), mode_(CurrentDisplayMode()) {}

  HRESULT WINAPI QueryInterface(REFIID, LPVOID* object) override {
    if (object) *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return ++references_; }
  ULONG WINAPI Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT WINAPI GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) override {
    if (!driverCaps && !emulationCaps) return DDERR_INVALIDPARAMS;
    for (LPDDCAPS caps : {driverCaps, emulationCaps}) {
      if (!caps) continue;
      if (caps->dwSize != sizeof(DDCAPS)) return DDERR_INVALIDPARAMS;
      std::memset(caps, 0, sizeof *caps);
      caps->dwSize = sizeof *caps;
      caps->dwCaps = DDCAPS_BLT | DDCAPS_BLTSTRETCH;
      caps->dwVidMemTotal = caps->dwVidMemFree = kVideoMemoryBytes;
    }
    return DD_OK;
  }

  HRESULT WINAPI SetCooperativeLevel(HWND, DWORD flags) override {
    if (flags != DDSCL_NORMAL) return DDERR_UNSUPPORTED;  // windowed use only
    cooperative_ = true;
    return DD_OK;
  }

  HRESULT WINAPI GetDisplayMode(LPDDSURFACEDESC2 desc) override {
    if (!desc || desc->dwSize != sizeof *desc) return DDERR_INVALIDPARAMS;
    std::memset(desc, 0, sizeof *desc);
    desc->dwSize = sizeof *desc;
    desc->dwFlags = DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = static_cast<DWORD>(mode_.width);
    desc->dwHeight = static_cast<DWORD>(mode_.height);
    desc->lPitch = static_cast<LONG>(mode_.width * ((mode_.bitsPerPixel + 7) / 8));
    DDPIXELFORMAT& format = desc->ddpfPixelFormat;
    format.dwSize = sizeof format;
    format.dwFlags = mode_.pixelFlags;
    format.dwRGBBitCount = mode_.bitsPerPixel;
    format.dwRBitMask = mode_.redMask;
    format.dwGBitMask = mode_.greenMask;
    format.dwBBitMask = mode_.blueMask;
    return DD_OK;
  }

  HRESULT WINAPI CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface, IUnknown* outer) override {
    if (!surface) return DDERR_INVALIDPARAMS;
    *surface = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!desc || desc->dwSize != sizeof *desc || !(desc->dwFlags & DDSD_CAPS)) return DDERR_INVALIDPARAMS;
    if (!cooperative_) return DDERR_NOCOOPERATIVELEVELSET;
    if (desc->dwFlags & DDSD_PIXELFORMAT) return DDERR_INVALIDPIXELFORMAT;  // surfaces take the display's format
    const DWORD caps = desc->ddsCaps.dwCaps;
    if (caps & DDSCAPS_PRIMARYSURFACE) {
      if (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
      *surface = DirectDrawSurface::CreatePrimary(id_, mode_);
      return DD_OK;
    }
    const DWORD memory = caps & (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY);
    const bool sized = (desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) == (DDSD_WIDTH | DDSD_HEIGHT);
    if (!(caps & DDSCAPS_OFFSCREENPLAIN) || !sized || memory == (DDSCAPS_VIDEOMEMORY | DDSCAPS_SYSTEMMEMORY) ||
        desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > kLargestSurface ||
        desc->dwHeight > kLargestSurface) {
      return DDERR_INVALIDPARAMS;
    }
    {
      std::lock_guard lock(DisplayMutex());
      if (memory == DDSCAPS_VIDEOMEMORY && VideoMemoryFullLocked()) return DDERR_OUTOFVIDEOMEMORY;
    }
    const DWORD placed = memory ? caps : caps | DDSCAPS_VIDEOMEMORY;
    // Sizes come from decoded pictures; one too large for memory is a
    // failed creation, not an exception through the COM boundary.
    try {
      *surface = DirectDrawSurface::CreateOffscreen(id_, mode_, static_cast<int>(desc->dwWidth),
                                                    static_cast<int>(desc->dwHeight), placed);
    } catch (const std::bad_alloc&) {
      return DDERR_OUTOFMEMORY;
    }
    return DD_OK;
  }

  HRESULT WINAPI CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) override {
    if (!clipper) return DDERR_INVALIDPARAMS;
    *clipper = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (flags != 0) return DDERR_INVALIDPARAMS;
    if (DirectDrawFails()) return DDERR_GENERIC;
    *clipper = new DirectDrawClipper;
    return DD_OK;
  }

  HRESULT WINAPI RestoreAllSurfaces() override {
    std::lock_guard lock(DisplayMutex());
    HRESULT result = DD_OK;
    for (DirectDrawSurface* surface : SurfacesLocked()) {
      if (surface->Owner() == id_ && surface->RestoreLocked() != DD_OK) result = DDERR_WRONGMODE;
    }
    return result;
  }

 private:
  ~DirectDraw() = default;

  std::atomic<ULONG> references_{1};
  const uint64_t id_;
  const PlatformDisplayMode mode_;
  std::atomic<bool> cooperative_{false};
};

// The entry point of the built-in "ddraw.dll" module.
HRESULT WINAPI DirectDrawCreateEx(GUID* device, LPVOID* object, REFIID iid, IUnknown* outer) {
  if (!object) return DDERR_INVALIDPARAMS;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (device || !(iid == IID_IDirectDraw7)) return DDERR_INVALIDPARAMS;  // one display, one interface
  if (DirectDrawFails()) return DDERR_GENERIC;
  *object = static_cast<IDirectDraw7*>(new DirectDraw);
  return DD_OK;
}

FARPROC ResolveDdraw(const char* name) {
  if (std::strcmp(name, "DirectDrawCreateEx") == 0) {
    // Through void(*)(), the generic function pointer type, as GetProcAddress results are.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&DirectDrawCreateEx));
  }
  return nullptr;
}

[[maybe_unused]] const bool registered = (PlatformRegisterBuiltinModule("ddraw.dll", ResolveDdraw), true);

}  // namespace

}  // namespace platform
