// A DirectDraw clipper: names the window whose client area blits onto the
// primary surface may reach.
#pragma once
#include <ddraw.h>

#include <atomic>

namespace platform {

class DirectDrawClipper final : public IDirectDrawClipper {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, LPVOID* object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI SetHWnd(DWORD flags, HWND window) override;

  HWND Window() const { return window_.load(); }

 private:
  ~DirectDrawClipper() = default;

  std::atomic<ULONG> references_{1};
  std::atomic<HWND> window_{nullptr};
};

}  // namespace platform
