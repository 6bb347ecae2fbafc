// The exported functions that let an application hand its own X11 window
// to VKT_OpenChannel; the window layer does the work. A wrapper that a
// channel still draws into is not released.
#include "channel_windows.h"
#include "debug_line.h"
#include "platform_x11.h"
#include "vkt7100sdk_x11.h"

extern "C" {

VKT_API int32_t VKT_CALL VKT_WrapX11Window(Display* display, Window window, HWND* wrapped) {
  if (!wrapped) return VKT_ERR_PARAMETER;
  *wrapped = PlatformWrapX11Window(display, window);
  return *wrapped ? VKT_OK : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_ReleaseX11Window(HWND wrapped) {
  // Released under a channel, the window would leave it decoding into
  // nothing; the channel is closed first.
  if (const ChannelWindowOwner owner = ChannelDrawingInto(wrapped); owner.session) {
    SdkDebugLine("VKT_ReleaseX11Window refused: channel %u of handle %p still draws into the window",
                 static_cast<unsigned>(owner.channel), owner.session);
    return VKT_ERR_PARAMETER;
  }
  return PlatformReleaseX11Window(wrapped) ? VKT_OK : VKT_ERR_PARAMETER;
}

}  // extern "C"
