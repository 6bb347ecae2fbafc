// Window timers: SetTimer, KillTimer, and the WM_TIMER messages that
// retrieval makes from them.
//
// As on Windows, WM_TIMER is not queued: when a thread looks for a message
// and none is posted, a timer whose period has elapsed yields one WM_TIMER
// and starts its next period from that moment. So a timer never has more
// than one pending WM_TIMER, and a slow consumer sees fewer ticks rather
// than a backlog. Timers live in the queue of their window's thread and
// die with the window. Timers without a window are not supported.
#include <algorithm>

#include "platform_state.h"

namespace platform {
namespace {

// Windows' USER_TIMER_MINIMUM and USER_TIMER_MAXIMUM.
constexpr UINT kMinimumPeriodMs = 10;
constexpr UINT kMaximumPeriodMs = 0x7FFFFFFF;

}  // namespace

Clock::time_point NextTimerDueLocked(const ThreadQueue& queue, HWND window) {
  Clock::time_point next = Clock::time_point::max();
  for (const Timer& timer : queue.timers) {
    if (!window || timer.window == window) next = std::min(next, timer.due);
  }
  return next;
}

bool TakeDueTimerLocked(ThreadQueue& queue, HWND filter, Clock::time_point now, bool remove, MSG* msg) {
  Timer* earliest = nullptr;
  for (Timer& timer : queue.timers) {
    if ((filter && timer.window != filter) || timer.due > now) continue;
    if (!earliest || timer.due < earliest->due) earliest = &timer;
  }
  if (!earliest) return false;
  *msg = MSG{earliest->window, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->proc), GetTickCount(),
             {0, 0}};
  if (remove) earliest->due = now + earliest->period;
  return true;
}

bool IsTimerProcLocked(const ThreadQueue& queue, HWND window, UINT_PTR id, TIMERPROC timerProc) {
  for (const Timer& timer : queue.timers) {
    if (timer.window == window && timer.id == id) return timer.proc == timerProc;
  }
  return false;
}

}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* state = window ? FindWindowLocked(window) : nullptr;
  if (!state || state->destroying) {
    SetLastError(window ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto period = std::chrono::milliseconds(std::clamp(elapse, kMinimumPeriodMs, kMaximumPeriodMs));
  Timer replacement{window, id, period, Clock::now() + period, timerProc};
  ThreadQueue& queue = *state->owner;
  auto existing = std::find_if(queue.timers.begin(), queue.timers.end(),
                               [&](const Timer& timer) { return timer.window == window && timer.id == id; });
  if (existing != queue.timers.end()) {
    *existing = replacement;
  } else {
    queue.timers.push_back(replacement);
  }
  queue.wake.notify_all();  // the owner may be waiting with an older deadline
  return id ? id : 1;
}

WINAPI_EXPORT BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* state = FindWindowLocked(window);
  if (state && std::erase_if(state->owner->timers,
                             [&](const Timer& timer) { return timer.window == window && timer.id == id; })) {
    return TRUE;
  }
  SetLastError(state ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}
}
