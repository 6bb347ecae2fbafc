// Posting and retrieving messages: PostMessageA (with an optional release
// hook for the record behind the message), PeekMessageA, GetMessageA,
// DispatchMessageA, TranslateMessage and PostQuitMessage.
//
// Retrieval order follows Windows: sent messages are processed first, then
// posted messages in order, then WM_QUIT, then due timers.
#include "platform_state.h"

using namespace platform;

namespace {

// Windows refuses posts beyond this many queued messages per thread; so do
// we, so that a thread that stops pumping does not grow without bound.
constexpr size_t kMaxPostedMessages = 10000;

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool MatchesFilter(const MSG& msg, HWND filter, UINT first, UINT last) {
  if (filter == kThreadMessagesOnly) {
    if (msg.hwnd) return false;
  } else if (filter && msg.hwnd != filter) {
    return false;
  }
  return (first == 0 && last == 0) || (msg.message >= first && msg.message <= last);
}

bool SameMessage(const MSG& a, const MSG& b) {
  return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam &&
         a.time == b.time;
}

// Moves the hook of a retrieved but undispatched message out of the queue.
void TakeRetrievedHookLocked(ThreadQueue& queue, ReleaseList& releases) {
  if (queue.retrievedHook.release) releases.push_back(queue.retrievedHook);
  queue.retrievedHook = {};
}

bool TakeMessageLocked(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* msg) {
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!MatchesFilter(it->msg, filter, first, last)) continue;
    *msg = it->msg;
    if (remove) {
      queue.retrievedMsg = it->msg;
      queue.retrievedHook = it->hook;
      queue.posted.erase(it);
    }
    return true;
  }
  if (queue.quitPosted) {  // WM_QUIT ignores the filters, as on Windows
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0, GetTickCount(), {0, 0}};
    if (remove) queue.quitPosted = false;
    return true;
  }
  bool timerWanted = (first == 0 && last == 0) || (WM_TIMER >= first && WM_TIMER <= last);
  return timerWanted && filter != kThreadMessagesOnly && TakeDueTimerLocked(queue, filter, Clock::now(), remove, msg);
}

// Checks a window filter: null, -1 or a live window of any thread.
bool ValidFilterLocked(HWND filter) {
  if (!filter || filter == kThreadMessagesOnly || FindWindowLocked(filter)) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace

extern "C" {

WINAPI_EXPORT BOOL PlatformPostMessageWithRelease(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                  PlatformReleaseProc release, void* context) {
  // A null window posts a thread message to the caller's own queue.
  std::shared_ptr<ThreadQueue> target = window ? nullptr : CurrentQueue();
  std::lock_guard lock(GlobalState().mutex);
  if (window) {
    WindowState* state = FindWindowLocked(window);
    if (!state || state->destroying) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    target = state->owner;
  }
  if (!target->alive) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (target->posted.size() >= kMaxPostedMessages) {
    SetLastError(ERROR_NOT_ENOUGH_QUOTA);
    return FALSE;
  }
  target->posted.push_back({MSG{window, message, wParam, lParam, GetTickCount(), {0, 0}}, {release, context}});
  target->wake.notify_all();
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PlatformPostMessageWithRelease(window, message, wParam, lParam, nullptr, nullptr);
}

WINAPI_EXPORT void WINAPI PostQuitMessage(int exitCode) {
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  std::lock_guard lock(GlobalState().mutex);
  queue->quitPosted = true;
  queue->quitCode = exitCode;
}

WINAPI_EXPORT BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  ReleaseList releases;
  BOOL found = FALSE;
  {
    std::unique_lock lock(GlobalState().mutex);
    TakeRetrievedHookLocked(*queue, releases);
    if (ValidFilterLocked(window)) {
      ProcessSentMessages(lock, *queue);
      found = TakeMessageLocked(*queue, window, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0, msg);
    }
  }
  RunReleases(releases);
  return found;
}

WINAPI_EXPORT BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  ReleaseList releases;
  BOOL result = -1;
  {
    std::unique_lock lock(GlobalState().mutex);
    TakeRetrievedHookLocked(*queue, releases);
    while (true) {
      if (!ValidFilterLocked(window)) break;
      ProcessSentMessages(lock, *queue);
      if (TakeMessageLocked(*queue, window, filterMin, filterMax, true, msg)) {
        result = msg->message == WM_QUIT ? 0 : 1;
        break;
      }
      if (!queue->sent.empty()) continue;
      bool timersWanted = window != kThreadMessagesOnly &&
                          ((filterMin == 0 && filterMax == 0) || (WM_TIMER >= filterMin && WM_TIMER <= filterMax));
      WaitUntil(*queue, lock, timersWanted ? NextTimerDueLocked(*queue, window) : Clock::time_point::max());
    }
  }
  RunReleases(releases);
  return result;
}

WINAPI_EXPORT BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

WINAPI_EXPORT LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  ReleaseHook hook;
  WNDPROC proc = nullptr;
  TIMERPROC timerProc = nullptr;
  {
    std::lock_guard lock(GlobalState().mutex);
    // The hook leaves the queue now, so that message loops nested inside the
    // procedure do not release the record while the procedure still uses it.
    if (queue->retrievedHook.release && SameMessage(queue->retrievedMsg, *msg)) {
      hook = queue->retrievedHook;
      queue->retrievedHook = {};
    }
    WindowState* window = FindWindowLocked(msg->hwnd);
    if (window && window->owner == queue) {
      proc = window->proc;
      auto candidate = reinterpret_cast<TIMERPROC>(msg->lParam);
      if (msg->message == WM_TIMER && candidate && IsTimerProcLocked(*queue, msg->hwnd, msg->wParam, candidate)) {
        timerProc = candidate;
      }
    }
  }
  LRESULT result = 0;
  if (timerProc) {
    timerProc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
  } else if (proc) {
    result = proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  }
  if (hook.release) hook.release(hook.context);
  return result;
}
}
