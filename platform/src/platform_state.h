// Process-wide state of the window system: window classes, windows,
// per-thread message queues, timers and events.
//
// One mutex guards all of it. Every thread that waits (for messages, for an
// event, for the reply to a sent message) owns a ThreadQueue whose condition
// variable is bound to that mutex; anything that could end a wait changes
// state under the mutex and notifies the queues concerned. Window procedures
// and release hooks are always called with the mutex released, because they
// call back into the platform and may block.
#pragma once
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "window_internal.h"

namespace platform {

using Clock = std::chrono::steady_clock;

struct ThreadQueue;

struct ReleaseHook {
  PlatformReleaseProc release = nullptr;
  void* context = nullptr;
};
using ReleaseList = std::vector<ReleaseHook>;

struct PostedMessage {
  MSG msg;
  ReleaseHook hook;
};

// A message sent from another thread; shared by the sender, who waits for
// `done`, and the owner's queue, which processes it.
struct SentMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  Clock::duration period;
  Clock::time_point due;
  TIMERPROC proc;
};

struct ThreadQueue {
  DWORD threadId = 0;
  bool alive = true;
  std::deque<PostedMessage> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool quitPosted = false;
  int quitCode = 0;
  // A message removed from the queue whose release hook waits for
  // DispatchMessageA (or for the next retrieval, if it is never dispatched).
  MSG retrievedMsg{};
  ReleaseHook retrievedHook;
  std::condition_variable wake;
};

struct WindowState {
  HWND handle = nullptr;
  HWND parent = nullptr;
  std::shared_ptr<ThreadQueue> owner;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = false;
  bool destroying = false;
};

struct EventState {
  bool manualReset = false;
  bool signalled = false;
  std::vector<ThreadQueue*> waiters;
};

struct WindowClass {
  ATOM atom;
  WNDPROC proc;
};

struct ObserverEntry {
  int id;
  PlatformWindowObserver observer;
  void* context;
};

struct State {
  std::mutex mutex;
  std::unordered_map<std::string, WindowClass> classes;  // key: lower-case name
  ATOM nextAtom = 0xC000;
  std::unordered_map<uintptr_t, std::shared_ptr<WindowState>> windows;
  uintptr_t nextWindowId = 0x10000;  // increasing, never reused
  std::vector<ObserverEntry> observers;
  int nextObserverId = 1;
};

// The state lives for the whole process and is never destroyed, so threads
// that exit during process shutdown can still use it.
State& GlobalState();

// The calling thread's queue, created on first use and torn down at thread
// exit (its windows are removed, queued records released, senders freed).
std::shared_ptr<ThreadQueue> CurrentQueue();

// Lookups and helpers below require GlobalState().mutex to be held.
WindowState* FindWindowLocked(HWND window);
void RunReleases(const ReleaseList& releases);  // call without the lock

// Removes everything queued for `window` on its owner's queue: posted
// messages (their hooks go to `releases`), timers, and sent messages, whose
// senders are released with result 0.
void DiscardWindowMessagesLocked(WindowState& window, ReleaseList& releases);

// Processes the sent messages waiting in `queue`, unlocking around each
// window procedure call. Returns true if it processed any.
bool ProcessSentMessages(std::unique_lock<std::mutex>& lock, ThreadQueue& queue);

// True when `queue` holds something that MsgWaitForMultipleObjects with
// `wakeMask` would report now.
bool HasInputLocked(const ThreadQueue& queue, DWORD wakeMask, Clock::time_point now);

// The earliest due time of the queue's timers that match `window` (null =
// all), or time_point::max().
Clock::time_point NextTimerDueLocked(const ThreadQueue& queue, HWND window);

// Takes the next due timer of `queue` matching the filter as a WM_TIMER
// message; with `remove`, restarts its period.
bool TakeDueTimerLocked(ThreadQueue& queue, HWND filter, Clock::time_point now, bool remove, MSG* msg);

// True when `timerProc` belongs to the timer (window, id).
bool IsTimerProcLocked(const ThreadQueue& queue, HWND window, UINT_PTR id, TIMERPROC timerProc);

// Waits on the queue's condition variable until `deadline` (max = no limit).
inline void WaitUntil(ThreadQueue& queue, std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) {
    queue.wake.wait(lock);
  } else {
    queue.wake.wait_until(lock, deadline);
  }
}

void NotifyObservers(PlatformWindowChange change, const PlatformWindowInfo& info);
PlatformWindowInfo SnapshotLocked(const WindowState& window);

}  // namespace platform
