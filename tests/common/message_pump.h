// Test helper: runs this thread's message loop, as an application does
// between SDK calls, until a condition holds or the time is up.
#pragma once
#include <windows.h>

namespace vkt::test {

template <typename Done>
bool PumpUntil(DWORD timeoutMs, Done done) {
  const DWORD start = timeGetTime();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (timeGetTime() - start > timeoutMs) return false;
    Sleep(2);
  }
}

inline void PumpFor(DWORD ms) {
  PumpUntil(ms, [] { return false; });
}

}  // namespace vkt::test
