// A test window whose messages go to a std::function, so each test states
// its window procedure inline.
#pragma once
#include <windows.h>

#include <functional>

using TestHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

inline LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* handler = reinterpret_cast<TestHandler*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (handler && *handler) return (*handler)(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

// Creates a hidden window on the calling thread; the handler must outlive it.
inline HWND CreateTestWindow(TestHandler* handler) {
  static const ATOM atom = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.lpszClassName = "PlatformTestWindow";
    return RegisterClassA(&windowClass);
  }();
  (void)atom;
  return CreateWindowExA(0, "PlatformTestWindow", "test", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr, handler);
}

// Dispatches everything queued for the calling thread; returns the count.
inline int PumpMessages() {
  MSG msg;
  int count = 0;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&msg);
    ++count;
  }
  return count;
}
