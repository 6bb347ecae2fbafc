// The X11 backend: when DISPLAY names a reachable X server, every shown
// top-level window is mirrored by a real X window (created, mapped, moved
// and destroyed with it), blits appear on it, and an event thread turns X
// events into WM_PAINT, WM_SIZE and WM_CLOSE posted to the window. Without a
// display every function here does nothing and windows stay off-screen.
#pragma once
#include <windows.h>

#include "surface_windows.h"

namespace platform {

// The X screen's size; false when no X display is open. The first call
// from anywhere in the backend opens the display.
bool X11ScreenSize(int* width, int* height);

// Shows `area` (client coordinates) of `pixels` on the window's X window.
// Call with the window pixel store's lock held (PaintWindowPixels).
void X11ShowPixels(HWND window, const WindowPixels& pixels, const RECT& area);

}  // namespace platform
