// The exported functions that let an application hand its own X11 window
// to VKT_OpenChannel; the window layer does the work.
#include "platform_x11.h"
#include "vkt7100sdk_x11.h"

extern "C" {

VKT_API int32_t VKT_CALL VKT_WrapX11Window(Display* display, Window window, HWND* wrapped) {
  if (!wrapped) return VKT_ERR_PARAMETER;
  *wrapped = PlatformWrapX11Window(display, window);
  return *wrapped ? VKT_OK : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_ReleaseX11Window(HWND wrapped) {
  return PlatformReleaseX11Window(wrapped) ? VKT_OK : VKT_ERR_PARAMETER;
}

}  // extern "C"
