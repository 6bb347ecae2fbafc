// What other parts of the platform layer (a native display backend) need to
// know about windows: a snapshot of a window's state, and observers told
// when a window is shown, hidden, moved or destroyed so that a backend can
// mirror it. A native event thread forwards input to the window's owner with
// PostMessageA, which is safe from any thread.
#pragma once
#include <windows.h>

enum class PlatformWindowChange { Shown, Hidden, Moved, Destroyed };

struct PlatformWindowInfo {
  HWND window;
  HWND parent;
  DWORD ownerThreadId;
  int x, y;  // relative to the parent's client area (the screen for top-level windows)
  int width, height;
  bool visible;
  char title[80];  // the window name given at creation, cut to fit
};

// Moves and sizes `window` without sending it anything, setting `resized`
// when its size changed; false if the window does not exist. For a native
// event thread, which must not block on the window's owner.
bool PlatformSetWindowRect(HWND window, int x, int y, int width, int height, bool* resized);

// Copies the state of `window`, taken under the window table's lock.
// False if the window does not exist.
bool PlatformGetWindowInfo(HWND window, PlatformWindowInfo* info);

// Observers run on the thread that made the change, with no platform lock
// held; Destroyed carries the last state of the window. Returns an id for
// PlatformRemoveWindowObserver.
typedef void (*PlatformWindowObserver)(PlatformWindowChange change, const PlatformWindowInfo& info, void* context);
int PlatformAddWindowObserver(PlatformWindowObserver observer, void* context);
void PlatformRemoveWindowObserver(int id);
