// The client-area pixels of every window that blits have reached, kept as
// 0x00RRGGBB so tests and snapshots can read what a user would see, and so
// the X11 backend can repaint a window after it was covered.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

struct WindowPixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;  // width * height, rows top first
  PlatformWindowPictures shown{};  // blits that reached the window
};

// Runs `paint` on the pixels of `window`, sized to width x height (a new
// size starts black), counts the picture, then shows `changed` (client
// coordinates) on the window's native window, if it has one.
void PaintWindowPixels(HWND window, int width, int height, const RECT& changed,
                       const std::function<void(WindowPixels&)>& paint);

// Runs `use` on the pixels of `window` under the store's lock; false when
// nothing was ever drawn into it.
bool UseWindowPixels(HWND window, const std::function<void(const WindowPixels&)>& use);

}  // namespace platform
