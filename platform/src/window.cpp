// Window creation and destruction, the user-data slot and the default
// window procedure.
//
// A window belongs to the thread that creates it. Handles are increasing
// numbers that are never reused, so a stale handle fails IsWindow.
// WM_NCCREATE is not sent; WM_CREATE is, synchronously, with the
// CREATESTRUCTA. Creation sends no WM_SIZE or WM_MOVE (MoveWindow sends
// WM_SIZE when the size changes).
#include <unistd.h>

#include <algorithm>

#include "platform_state.h"
#include "window_class.h"

using namespace platform;

namespace {

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

// Runs the destruction steps after the window was marked `destroying`.
void FinishDestroy(HWND handle, WNDPROC proc, const std::vector<HWND>& children) {
  proc(handle, WM_DESTROY, 0, 0);
  for (HWND child : children) DestroyWindow(child);
  proc(handle, WM_NCDESTROY, 0, 0);

  State& state = GlobalState();
  ReleaseList releases;
  PlatformWindowInfo last{};
  {
    std::lock_guard lock(state.mutex);
    WindowState* window = FindWindowLocked(handle);
    if (!window) return;  // its thread's queue was torn down meanwhile
    DiscardWindowMessagesLocked(*window, releases);
    last = SnapshotLocked(*window);
    state.windows.erase(reinterpret_cast<uintptr_t>(handle));
  }
  NotifyObservers(PlatformWindowChange::Destroyed, last);
  RunReleases(releases);
}

}  // namespace

extern "C" {

WINAPI_EXPORT HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                                          int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                                          LPVOID param) {
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  State& state = GlobalState();
  HWND handle;
  WNDPROC proc;
  {
    std::lock_guard lock(state.mutex);
    proc = FindClassProcLocked(className);
    if (!proc) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (parent && !FindWindowLocked(parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    auto window = std::make_shared<WindowState>();
    uintptr_t id = state.nextWindowId;
    state.nextWindowId += 2;
    handle = reinterpret_cast<HWND>(id);
    bool child = (style & WS_CHILD) != 0;
    window->handle = handle;
    window->parent = parent;
    window->owner = queue;
    window->proc = proc;
    if (windowName) window->title = windowName;
    x = x == CW_USEDEFAULT ? 0 : x;
    y = y == CW_USEDEFAULT ? 0 : y;
    width = width == CW_USEDEFAULT ? (child ? 0 : kDefaultWidth) : std::max(width, 0);
    height = height == CW_USEDEFAULT ? (child ? 0 : kDefaultHeight) : std::max(height, 0);
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
    state.windows.emplace(id, std::move(window));
  }

  // The procedure sees the geometry after defaults were applied.
  CREATESTRUCTA create{param, instance, menu,       parent,    height, width, y, x, static_cast<LONG>(style),
                       windowName, className, exStyle};
  if (proc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return handle;
}

WINAPI_EXPORT BOOL WINAPI DestroyWindow(HWND handle) {
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  State& state = GlobalState();
  ReleaseList releases;
  WNDPROC proc;
  std::vector<HWND> children;
  {
    std::lock_guard lock(state.mutex);
    WindowState* window = FindWindowLocked(handle);
    if (!window || window->destroying) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (window->owner != queue) {  // as on Windows: only the owner thread destroys
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    window->destroying = true;
    proc = window->proc;
    DiscardWindowMessagesLocked(*window, releases);
    for (const auto& [id, other] : state.windows) {
      if (other->parent == handle && !other->destroying) children.push_back(other->handle);
    }
  }
  RunReleases(releases);
  FinishDestroy(handle, proc, children);
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI IsWindow(HWND handle) {
  std::lock_guard lock(GlobalState().mutex);
  return FindWindowLocked(handle) != nullptr;
}

WINAPI_EXPORT LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    default:
      return 0;
  }
}

namespace {

// The one window long the code uses, GWLP_USERDATA; null (with the error
// set) for an unknown window or another index. Called with the lock held.
LONG_PTR* UserDataSlotLocked(HWND handle, int index) {
  WindowState* window = FindWindowLocked(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (index != GWLP_USERDATA) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return &window->userData;
}

}  // namespace

WINAPI_EXPORT LONG_PTR WINAPI SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
  std::lock_guard lock(GlobalState().mutex);
  LONG_PTR* slot = UserDataSlotLocked(handle, index);
  if (!slot) return 0;
  SetLastError(ERROR_SUCCESS);  // lets a caller tell a previous 0 from a failure
  const LONG_PTR previous = *slot;
  *slot = value;
  return previous;
}

WINAPI_EXPORT LONG_PTR WINAPI GetWindowLongPtrA(HWND handle, int index) {
  std::lock_guard lock(GlobalState().mutex);
  const LONG_PTR* slot = UserDataSlotLocked(handle, index);
  return slot ? *slot : 0;
}

WINAPI_EXPORT DWORD WINAPI GetWindowThreadProcessId(HWND handle, LPDWORD processId) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* window = FindWindowLocked(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (processId) *processId = static_cast<DWORD>(getpid());
  return window->owner->threadId;
}
}
