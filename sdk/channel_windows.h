// Which window each open channel draws into, across every handle of the
// process. Two channels drawing into one window would paint over each
// other, and a wrapped X11 window released under a channel would leave it
// decoding into nothing: both calls are refused while the window is taken.
// Any thread may ask (handles live on threads of their own).
#pragma once
#include <windows.h>

#include <cstdint>

// The open channel that draws into `window`, if any.
struct ChannelWindowOwner {
  const void* session = nullptr;  // null: no channel draws into the window
  uint32_t channel = 0;
};
ChannelWindowOwner ChannelDrawingInto(HWND window);

// True when `window` is null or taken by no channel but (`session`,
// `channel`) itself; otherwise false, with a debug line naming `call` and
// the channel that has the window.
bool WindowFreeForChannel(const void* session, uint32_t channel, HWND window, const char* call);

// The channel now draws into `window` (none when null), instead of the
// window it had.
void ClaimChannelWindow(const void* session, uint32_t channel, HWND window);
// The channel draws into no window any more.
void ReleaseChannelWindow(const void* session, uint32_t channel);
// Every channel of the session: it is being destroyed.
void ReleaseSessionWindows(const void* session);
