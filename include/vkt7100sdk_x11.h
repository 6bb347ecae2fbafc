// Linux only: live video in an X11 window the application made itself,
// with Xlib or as a toolkit's native window. The wrapper is an HWND for
// VKT_OpenChannel; the SDK draws each picture into the X window, scaled
// to the window's size at that moment, and repaints it when it is exposed.
// The window's size, position and mapping stay the application's.
#pragma once
#include <X11/Xlib.h>
#include <stdint.h>

#include "vkt7100sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

// Wraps `window` of `display` (the application's connection; it is synced,
// never used after the call) as `*wrapped`, owned by the calling thread.
// VKT_ERR_PARAMETER when an argument is null, the window is not on the
// display's server, or it is wrapped already.
VKT_API int32_t VKT_CALL VKT_WrapX11Window(Display* display, Window window, HWND* wrapped);
// Releases a wrapper on the thread that made it, after the channel
// drawing into it was closed; the X window is left as it is.
// VKT_ERR_PARAMETER for anything that is not such a wrapper, and, with a
// debug line, while a channel still draws into it.
VKT_API int32_t VKT_CALL VKT_ReleaseX11Window(HWND wrapped);

#ifdef __cplusplus
}
#endif
