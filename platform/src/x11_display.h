// The X11 backend: when DISPLAY names a reachable X server, every shown
// window is mirrored by a real X window (a child window by a subwindow of
// its parent's), blits appear on it, and an event thread turns X events
// into WM_PAINT, WM_SIZE, WM_KEYDOWN and WM_CLOSE posted to the window.
// Without a display every function here does nothing and windows stay
// off-screen.
#pragma once
#include <windows.h>

#include "surface_windows.h"

namespace platform {

// The X screen's size; false when no X display is open. The first call
// from anywhere in the backend opens the display.
bool X11ScreenSize(int* width, int* height);

// The pointer's position on the X screen; false when no X display is open.
bool X11PointerPosition(int* x, int* y);

// Makes the application's X window `xWindow` the native window of
// `window` (a window of this layer): blits appear on it, and its resizes,
// made by the application, resize `window`. The display is opened by
// `displayName` if it is not open yet. Sets the X window's size; false
// when the window does not exist on the display or is adopted already.
bool X11AdoptWindow(HWND window, const char* displayName, unsigned long xWindow, int* width, int* height);

// Shows `area` (client coordinates) of `pixels` on the window's X window.
// Call with the window pixel store's lock held (PaintWindowPixels).
void X11ShowPixels(HWND window, const WindowPixels& pixels, const RECT& area);

}  // namespace platform
