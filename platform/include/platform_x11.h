// Linux only: windows of this layer that stand for an application's own
// X11 window, so that code written against HWND can draw into a window the
// application made with Xlib or a toolkit. Not installed: applications use
// the SDK's VKT_WrapX11Window, which forwards here.
#pragma once
#include <windows.h>

// A visible window of this layer, owned by the calling thread, whose
// pixels appear on X window `xWindow` of `display` (an Xlib Display*) and
// whose size follows that window's. Null (with the last error set) when
// the display or window is null, the window is not on the display's
// server, or it is wrapped already.
EXTERN_C WINAPI_EXPORT HWND PlatformWrapX11Window(void* display, unsigned long xWindow);

// Destroys a window made by PlatformWrapX11Window, on its owner thread;
// the X window stays the application's. FALSE for any other window, or on
// another thread.
EXTERN_C WINAPI_EXPORT BOOL PlatformReleaseX11Window(HWND wrapper);
