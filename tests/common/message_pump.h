// Test helper: runs this thread's message loop, as an application does
// between SDK calls, until a condition holds or the time is up.
#pragma once
#include <windows.h>

namespace vkt::test {

// One message per turn: while video streams in, a slow (sanitised) build
// may never see the queue empty, and the condition and the time are still
// checked.
template <typename Done>
bool PumpUntil(DWORD timeoutMs, Done done) {
  const DWORD start = timeGetTime();
  for (;;) {
    MSG msg;
    const bool dispatched = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    if (dispatched) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (timeGetTime() - start > timeoutMs) return false;
    if (!dispatched) Sleep(2);
  }
}

inline void PumpFor(DWORD ms) {
  PumpUntil(ms, [] { return false; });
}

}  // namespace vkt::test
