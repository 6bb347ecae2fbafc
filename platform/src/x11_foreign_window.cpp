// Wrappers of an application's own X11 windows: a plain window of this
// layer, kept at the X window's size by the X11 backend, which shows its
// pixels on the application's window instead of a window of its own.
#include <X11/Xlib.h>

#include <mutex>
#include <unordered_set>

#include "platform_x11.h"
#include "window_internal.h"
#include "x11_display.h"

namespace {

constexpr char kWrapperClass[] = "VktForeignX11Window";

struct Wrappers {
  std::mutex mutex;
  std::unordered_set<HWND> windows;
};

// Never destroyed, like the window table.
Wrappers& TheWrappers() {
  static Wrappers* wrappers = new Wrappers;
  return *wrappers;
}

// A wrapper goes from the set however it is destroyed (released, or with
// its thread).
void ForgetDestroyedWrapper(PlatformWindowChange change, const PlatformWindowInfo& info, void*) {
  if (change != PlatformWindowChange::Destroyed) return;
  std::lock_guard lock(TheWrappers().mutex);
  TheWrappers().windows.erase(info.window);
}

[[maybe_unused]] const int forgetObserver = PlatformAddWindowObserver(ForgetDestroyedWrapper, nullptr);

bool RegisterWrapperClass() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = kWrapperClass;
    return RegisterClassA(&windowClass) != 0;
  }();
  return registered;
}

}  // namespace

EXTERN_C WINAPI_EXPORT HWND PlatformWrapX11Window(void* display, unsigned long xWindow) {
  if (!display || !xWindow || !RegisterWrapperClass()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* application = static_cast<Display*>(display);
  // The application's own requests (creating the window) reach the server
  // before the backend's connection looks for the window.
  XSync(application, False);
  HWND wrapper = CreateWindowExA(0, kWrapperClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (!wrapper) return nullptr;
  int width = 0, height = 0;
  if (!platform::X11AdoptWindow(wrapper, DisplayString(application), xWindow, &width, &height)) {
    DestroyWindow(wrapper);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  {
    std::lock_guard lock(TheWrappers().mutex);
    TheWrappers().windows.insert(wrapper);
  }
  MoveWindow(wrapper, 0, 0, width, height, FALSE);
  ShowWindow(wrapper, SW_SHOW);
  return wrapper;
}

EXTERN_C WINAPI_EXPORT BOOL PlatformReleaseX11Window(HWND wrapper) {
  {
    std::lock_guard lock(TheWrappers().mutex);
    if (!TheWrappers().windows.contains(wrapper)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
  }
  return DestroyWindow(wrapper);  // FALSE on another thread
}
