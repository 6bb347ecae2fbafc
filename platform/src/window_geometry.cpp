// Visibility and geometry of windows: ShowWindow, IsWindowVisible,
// MoveWindow, GetClientRect, ClientToScreen.
//
// Windows here have no frame: the client area is the whole window, so
// GetClientRect is (0, 0, width, height) and a window's client origin on the
// screen is its position plus its parents' positions.
#include <algorithm>

#include "platform_state.h"

using namespace platform;

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
  PlatformWindowInfo info;
  {
    std::lock_guard lock(GlobalState().mutex);
    WindowState* window = FindWindowLocked(handle);
    if (!window) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    window->x = x;
    window->y = y;
    window->width = std::max(width, 0);
    window->height = std::max(height, 0);
    info = SnapshotLocked(*window);
  }
  NotifyObservers(PlatformWindowChange::Moved, info);
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
  std::lock_guard lock(GlobalState().mutex);
  WindowState* window = FindWindowLocked(handle);
  if (!window || !point) {
    SetLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (; window; window = FindWindowLocked(window->parent)) {
    point->x += window->x;
    point->y += window->y;
  }
  return TRUE;
}
}
