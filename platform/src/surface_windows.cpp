// Per-window pixel store, forgotten when its window is destroyed, and the
// read-back functions built on it.
#include "surface_windows.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "window_internal.h"
#include "x11_display.h"

namespace platform {
namespace {

struct Store {
  std::mutex mutex;
  std::unordered_map<HWND, WindowPixels> windows;
};

// Never destroyed, like the window table whose windows it mirrors.
Store& TheStore() {
  static Store* store = new Store;
  return *store;
}

void ForgetDestroyedWindow(PlatformWindowChange change, const PlatformWindowInfo& info, void*) {
  if (change != PlatformWindowChange::Destroyed) return;
  std::lock_guard lock(TheStore().mutex);
  TheStore().windows.erase(info.window);
}

[[maybe_unused]] const int forgetObserver = PlatformAddWindowObserver(ForgetDestroyedWindow, nullptr);

}  // namespace

void PaintWindowPixels(HWND window, int width, int height, const RECT& changed,
                       const std::function<void(WindowPixels&)>& paint) {
  std::lock_guard lock(TheStore().mutex);
  WindowPixels& pixels = TheStore().windows[window];
  if (pixels.width != width || pixels.height != height) {
    pixels.width = width;
    pixels.height = height;
    pixels.rgb.assign(static_cast<size_t>(width) * height, 0);
  }
  paint(pixels);
  PlatformWindowPictures& shown = pixels.shown;
  const DWORD now = GetTickCount();
  if (shown.pictures > 0) shown.longestGap = std::max<DWORD>(shown.longestGap, now - shown.lastPictureTick);
  ++shown.pictures;
  shown.lastPictureTick = now;
  X11ShowPixels(window, pixels, changed);
}

bool UseWindowPixels(HWND window, const std::function<void(const WindowPixels&)>& use) {
  std::lock_guard lock(TheStore().mutex);
  auto found = TheStore().windows.find(window);
  if (found == TheStore().windows.end()) return false;
  use(found->second);
  return true;
}

}  // namespace platform

using namespace platform;

extern "C" WINAPI_EXPORT BOOL PlatformReadWindowPixels(HWND window, DWORD* pixels, int width, int height) {
  RECT client;
  if (!pixels || !GetClientRect(window, &client) || width != client.right || height != client.bottom) return FALSE;
  std::fill(pixels, pixels + static_cast<size_t>(width) * height, 0u);
  UseWindowPixels(window, [&](const WindowPixels& stored) {
    const int rows = std::min(height, stored.height), columns = std::min(width, stored.width);
    for (int y = 0; y < rows; ++y) {
      std::copy_n(stored.rgb.data() + static_cast<size_t>(y) * stored.width, columns,
                  pixels + static_cast<size_t>(y) * width);
    }
  });
  return TRUE;
}

extern "C" WINAPI_EXPORT BOOL PlatformGetWindowPictures(HWND window, PlatformWindowPictures* pictures) {
  if (!pictures || !IsWindow(window)) return FALSE;
  *pictures = PlatformWindowPictures{};
  UseWindowPixels(window, [&](const WindowPixels& stored) { *pictures = stored.shown; });
  return TRUE;
}
