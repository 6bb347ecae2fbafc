// WaitForSingleObject and MsgWaitForMultipleObjects.
//
// A waiting thread registers its queue with each event it waits on, so that
// SetEvent, a posted or sent message, or a timer change all wake the same
// condition variable. MsgWaitForMultipleObjects processes messages sent from
// other threads while it waits and reports input (index = count) when the
// thread has anything retrievable now: a posted message, WM_QUIT, a due
// timer, or a sent message it has just processed. Waiting for all objects
// at once is not supported.
#include <algorithm>

#include "event_object.h"

namespace platform {
namespace {

constexpr DWORD kMaxWaitObjects = 64;  // MAXIMUM_WAIT_OBJECTS
constexpr DWORD kPostedInput = QS_POSTMESSAGE | QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_PAINT | QS_HOTKEY;

// Keeps a queue registered as a waiter of some events for one wait.
class WaiterRegistration {
 public:
  WaiterRegistration(const std::vector<std::shared_ptr<EventObject>>& events, ThreadQueue* queue)
      : events_(events), queue_(queue) {
    for (auto& event : events_) event->state.waiters.push_back(queue_);
  }
  ~WaiterRegistration() {
    for (auto& event : events_) {
      auto& waiters = event->state.waiters;
      waiters.erase(std::find(waiters.begin(), waiters.end(), queue_));
    }
  }
  WaiterRegistration(const WaiterRegistration&) = delete;
  WaiterRegistration& operator=(const WaiterRegistration&) = delete;

 private:
  const std::vector<std::shared_ptr<EventObject>>& events_;
  ThreadQueue* queue_;
};

Clock::time_point DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// Resolves handles to events; false (with the error set) if one is not an event.
bool ResolveEvents(DWORD count, const HANDLE* handles, std::vector<std::shared_ptr<EventObject>>& events) {
  for (DWORD i = 0; i < count; ++i) {
    auto event = FindKernelHandleAs<EventObject>(handles[i]);
    if (!event) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    events.push_back(std::move(event));
  }
  return true;
}

}  // namespace

bool HasInputLocked(const ThreadQueue& queue, DWORD wakeMask, Clock::time_point now) {
  if ((wakeMask & kPostedInput) && !queue.posted.empty()) return true;
  if ((wakeMask & QS_POSTMESSAGE) && queue.quitPosted) return true;
  if ((wakeMask & QS_SENDMESSAGE) && !queue.sent.empty()) return true;
  return (wakeMask & QS_TIMER) && NextTimerDueLocked(queue, nullptr) <= now;
}

}  // namespace platform

using namespace platform;

extern "C" {

WINAPI_EXPORT DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::vector<std::shared_ptr<EventObject>> events;
  if (!ResolveEvents(1, &handle, events)) return WAIT_FAILED;
  Clock::time_point deadline = DeadlineAfter(milliseconds);
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  std::unique_lock lock(GlobalState().mutex);
  WaiterRegistration registration(events, queue.get());
  while (!ConsumeSignalLocked(events[0]->state)) {
    if (Clock::now() >= deadline) return WAIT_TIMEOUT;
    WaitUntil(*queue, lock, deadline);
  }
  return WAIT_OBJECT_0;
}

WINAPI_EXPORT DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                                     DWORD milliseconds, DWORD wakeMask) {
  std::vector<std::shared_ptr<EventObject>> events;
  if (count > kMaxWaitObjects || (count && !handles) || waitAll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  if (!ResolveEvents(count, handles, events)) return WAIT_FAILED;
  Clock::time_point deadline = DeadlineAfter(milliseconds);
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  std::unique_lock lock(GlobalState().mutex);
  WaiterRegistration registration(events, queue.get());
  while (true) {
    bool processedSent = ProcessSentMessages(lock, *queue);
    for (DWORD i = 0; i < count; ++i) {
      if (ConsumeSignalLocked(events[i]->state)) return WAIT_OBJECT_0 + i;
    }
    Clock::time_point now = Clock::now();
    if ((processedSent && (wakeMask & QS_SENDMESSAGE)) || HasInputLocked(*queue, wakeMask, now)) {
      return WAIT_OBJECT_0 + count;
    }
    if (now >= deadline) return WAIT_TIMEOUT;
    Clock::time_point wakeAt = deadline;
    if (wakeMask & QS_TIMER) wakeAt = std::min(wakeAt, NextTimerDueLocked(*queue, nullptr));
    WaitUntil(*queue, lock, wakeAt);
  }
}
}
