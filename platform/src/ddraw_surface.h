// A DirectDraw surface of the simulated display: either the primary surface,
// which stands for the screen and has no memory of its own, or an off-screen
// surface holding pixels in the display's format. Blits onto the primary
// surface are drawn into the window of its clipper (ddraw_blit.cpp).
#pragma once
#include <ddraw.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "surface_format.h"

namespace platform {

class DirectDrawClipper;

class DirectDrawSurface final : public IDirectDrawSurface7 {
 public:
  // `owner` identifies the DirectDraw object, for RestoreAllSurfaces.
  static DirectDrawSurface* CreatePrimary(uint64_t owner, const PlatformDisplayMode& mode);
  static DirectDrawSurface* CreateOffscreen(uint64_t owner, const PlatformDisplayMode& mode, int width, int height,
                                            DWORD caps);

  HRESULT WINAPI QueryInterface(REFIID iid, LPVOID* object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI Blt(LPRECT destRect, IDirectDrawSurface7* source, LPRECT sourceRect, DWORD flags,
                     LPDDBLTFX effects) override;
  HRESULT WINAPI GetDC(HDC* dc) override;
  HRESULT WINAPI IsLost() override;
  HRESULT WINAPI Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) override;
  HRESULT WINAPI ReleaseDC(HDC dc) override;
  HRESULT WINAPI Restore() override;
  HRESULT WINAPI SetClipper(LPDIRECTDRAWCLIPPER clipper) override;
  HRESULT WINAPI Unlock(LPRECT rect) override;

  // Called with DisplayMutex() held.
  void MarkLostLocked() { lost_ = true; }
  HRESULT RestoreLocked();
  uint64_t Owner() const { return owner_; }

 private:
  DirectDrawSurface(uint64_t owner, const PlatformDisplayMode& mode, bool primary, int width, int height, DWORD caps);
  ~DirectDrawSurface();

  bool BusyLocked() const { return locked_ || dc_ != nullptr; }
  const uint8_t* PixelAt(int x, int y) const {
    return pixels_.data() + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * layout_.BytesPerPixel();
  }
  void DescribeLocked(DDSURFACEDESC2* desc) const;
  // Stretches `src` of this surface over `dest` (screen coordinates) into
  // the client pixels of `window`, whose client area on the screen is
  // `client`; only `clip` (inside both) is drawn.
  void StretchIntoWindow(const RECT& src, const RECT& dest, HWND window, const RECT& client, const RECT& clip) const;

  std::atomic<ULONG> references_{1};
  const uint64_t owner_;
  const bool primary_;
  const PixelLayout layout_;
  const int width_, height_;  // the screen's size for the primary surface
  const DWORD caps_;
  const int pitch_;
  std::vector<uint8_t> pixels_;
  // Guarded by DisplayMutex().
  bool lost_ = false;
  bool locked_ = false;
  HDC dc_ = nullptr;
  DirectDrawClipper* clipper_ = nullptr;
};

}  // namespace platform
