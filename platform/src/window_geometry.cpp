// Visibility and geometry of windows: ShowWindow, IsWindowVisible,
// MoveWindow, SetWindowPos, GetClientRect, ClientToScreen, ScreenToClient,
// GetCursorPos, GetSystemMetrics.
//
// Windows here have no frame: the client area is the whole window, so
// GetClientRect is (0, 0, width, height) and a window's client origin on the
// screen is its position plus its parents' positions.
#include <algorithm>

#include "ddraw_display.h"
#include "platform_state.h"
#include "x11_display.h"

using namespace platform;

namespace {

// The screen position of the client area's top-left corner.
BOOL ClientOrigin(HWND handle, POINT* origin) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* window = FindWindowLocked(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *origin = POINT{0, 0};
  for (; window; window = FindWindowLocked(window->parent)) {
    origin->x += window->x;
    origin->y += window->y;
  }
  return TRUE;
}

}  // namespace

extern "C" {

WINAPI_EXPORT BOOL WINAPI ShowWindow(HWND handle, int command) {
  PlatformWindowInfo info;
  bool wasVisible;
  {
    std::lock_guard lock(GlobalState().mutex);
    WindowState* window = FindWindowLocked(handle);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    info = SnapshotLocked(*window);
  }
  if (info.visible != wasVisible) {
    NotifyObservers(info.visible ? PlatformWindowChange::Shown : PlatformWindowChange::Hidden, info);
  }
  return wasVisible ? TRUE : FALSE;
}

// A window is visible when it and all its parents are shown.
WINAPI_EXPORT BOOL WINAPI IsWindowVisible(HWND handle) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* window = FindWindowLocked(handle);
  if (!window) return FALSE;
  for (; window; window = FindWindowLocked(window->parent)) {
    if (!window->visible) return FALSE;
  }
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
  bool resized = false;
  if (!PlatformSetWindowRect(handle, x, y, width, height, &resized)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (resized) SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELONG(std::max(width, 0), std::max(height, 0)));
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI SetWindowPos(HWND handle, HWND, int x, int y, int width, int height, UINT flags) {
  PlatformWindowInfo info;
  if (!PlatformGetWindowInfo(handle, &info)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (flags & SWP_NOMOVE) x = info.x, y = info.y;
  if (flags & SWP_NOSIZE) width = info.width, height = info.height;
  MoveWindow(handle, x, y, width, height, TRUE);
  if (flags & SWP_SHOWWINDOW) ShowWindow(handle, SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(handle, SW_HIDE);
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* window = FindWindowLocked(handle);
  if (!window || !rect) {
    SetLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = RECT{0, 0, window->width, window->height};
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI ClientToScreen(HWND handle, LPPOINT point) {
  POINT origin;
  if (!point || !ClientOrigin(handle, &origin)) return FALSE;
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI ScreenToClient(HWND handle, LPPOINT point) {
  POINT origin;
  if (!point || !ClientOrigin(handle, &origin)) return FALSE;
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI GetCursorPos(LPPOINT point) {
  if (!point) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int x = 0, y = 0;
  X11PointerPosition(&x, &y);
  *point = POINT{x, y};
  return TRUE;
}

WINAPI_EXPORT int WINAPI GetSystemMetrics(int index) {
  const PlatformDisplayMode mode = CurrentDisplayMode();
  if (index == SM_CXSCREEN) return mode.width;
  if (index == SM_CYSCREEN) return mode.height;
  return 0;
}
}

bool PlatformSetWindowRect(HWND handle, int x, int y, int width, int height, bool* resized) {
  PlatformWindowInfo info;
  {
    std::lock_guard lock(GlobalState().mutex);
    WindowState* window = FindWindowLocked(handle);
    if (!window) return false;
    width = std::max(width, 0);
    height = std::max(height, 0);
    *resized = window->width != width || window->height != height;
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
    info = SnapshotLocked(*window);
  }
  NotifyObservers(PlatformWindowChange::Moved, info);
  return true;
}
