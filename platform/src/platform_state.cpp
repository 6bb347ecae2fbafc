// The process-wide window state and the life of per-thread queues: creation
// on first use and teardown at thread exit, when the thread's windows go away
// and everything still queued for them is released.
#include "platform_state.h"

namespace platform {
namespace {

// Tears a queue down when its thread exits. Window procedures are not
// called: their thread is ending, as when a Windows thread exits with
// windows still open.
void TearDownQueue(const std::shared_ptr<ThreadQueue>& queue) {
  State& state = GlobalState();
  ReleaseList releases;
  std::vector<PlatformWindowInfo> destroyed;
  {
    std::lock_guard lock(state.mutex);
    queue->alive = false;
    for (auto it = state.windows.begin(); it != state.windows.end();) {
      WindowState& window = *it->second;
      if (window.owner != queue) {
        ++it;
        continue;
      }
      DiscardWindowMessagesLocked(window, releases);
      destroyed.push_back(SnapshotLocked(window));
      it = state.windows.erase(it);
    }
    for (PostedMessage& posted : queue->posted) releases.push_back(posted.hook);
    queue->posted.clear();
    for (auto& sent : queue->sent) {
      sent->done = true;
      sent->sender->wake.notify_all();
    }
    queue->sent.clear();
    queue->timers.clear();
    if (queue->retrievedHook.release) releases.push_back(queue->retrievedHook);
    queue->retrievedHook = {};
  }
  for (const PlatformWindowInfo& info : destroyed) NotifyObservers(PlatformWindowChange::Destroyed, info);
  RunReleases(releases);
}

struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (queue) TearDownQueue(queue);
  }
};

thread_local QueueHolder currentQueue;

}  // namespace

State& GlobalState() {
  static State* state = new State;
  return *state;
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!currentQueue.queue) {
    auto queue = std::make_shared<ThreadQueue>();
    queue->threadId = GetCurrentThreadId();
    currentQueue.queue = std::move(queue);
  }
  return currentQueue.queue;
}

WindowState* FindWindowLocked(HWND window) {
  State& state = GlobalState();
  auto it = state.windows.find(reinterpret_cast<uintptr_t>(window));
  return it == state.windows.end() ? nullptr : it->second.get();
}

void RunReleases(const ReleaseList& releases) {
  for (const ReleaseHook& hook : releases) {
    if (hook.release) hook.release(hook.context);
  }
}

void DiscardWindowMessagesLocked(WindowState& window, ReleaseList& releases) {
  ThreadQueue& queue = *window.owner;
  std::erase_if(queue.posted, [&](const PostedMessage& posted) {
    if (posted.msg.hwnd != window.handle) return false;
    releases.push_back(posted.hook);
    return true;
  });
  std::erase_if(queue.timers, [&](const Timer& timer) { return timer.window == window.handle; });
  std::erase_if(queue.sent, [&](const std::shared_ptr<SentMessage>& sent) {
    if (sent->window != window.handle) return false;
    sent->done = true;
    sent->sender->wake.notify_all();
    return true;
  });
}

}  // namespace platform
