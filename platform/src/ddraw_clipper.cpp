// DirectDraw clipper: reference counting and the window it clips to.
#include "ddraw_clipper.h"

namespace platform {

HRESULT WINAPI DirectDrawClipper::QueryInterface(REFIID, LPVOID* object) {
  if (object) *object = nullptr;
  return E_NOINTERFACE;
}

ULONG WINAPI DirectDrawClipper::AddRef() { return ++references_; }

ULONG WINAPI DirectDrawClipper::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT WINAPI DirectDrawClipper::SetHWnd(DWORD flags, HWND window) {
  if (flags != 0) return DDERR_INVALIDPARAMS;
  window_.store(window);
  return DD_OK;
}

}  // namespace platform
