// SendMessageA and the processing of messages sent from other threads.
//
// A send to a window of the calling thread calls its procedure directly.
// A send to another thread's window is queued on that thread, which runs it
// inside GetMessageA, PeekMessageA or MsgWaitForMultipleObjects; meanwhile
// the sender waits, processing messages sent to its own thread so that two
// threads sending to each other cannot deadlock. The sender is released
// with 0 if the window is destroyed or its thread exits first.
#include "platform_state.h"

namespace platform {

bool ProcessSentMessages(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
  bool processed = false;
  while (!queue.sent.empty()) {
    std::shared_ptr<SentMessage> sent = std::move(queue.sent.front());
    queue.sent.pop_front();
    WindowState* window = FindWindowLocked(sent->window);
    if (window) {
      WNDPROC proc = window->proc;
      lock.unlock();
      LRESULT result = proc(sent->window, sent->message, sent->wParam, sent->lParam);
      lock.lock();
      sent->result = result;
    }
    sent->done = true;
    sent->sender->wake.notify_all();
    processed = true;
  }
  return processed;
}

}  // namespace platform

using namespace platform;

extern "C" WINAPI_EXPORT LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  std::unique_lock lock(GlobalState().mutex);
  WindowState* window = FindWindowLocked(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (window->owner == queue) {
    WNDPROC proc = window->proc;
    lock.unlock();
    return proc(handle, message, wParam, lParam);
  }
  if (window->destroying || !window->owner->alive) return 0;

  auto sent = std::make_shared<SentMessage>();
  *sent = SentMessage{handle, message, wParam, lParam, 0, false, queue};
  window->owner->sent.push_back(sent);
  window->owner->wake.notify_all();
  while (!sent->done) {
    if (!queue->sent.empty()) {
      ProcessSentMessages(lock, *queue);
      continue;
    }
    queue->wake.wait(lock);
  }
  return sent->result;
}
