// Event queue of a session: posting from any thread, delivery on the
// window thread, and the picture and drop bookkeeping events come from.
#include "session_events.h"

#include <utility>

void SessionEvents::SetCallback(VKT_EventCallback callback, void* user) {
  std::lock_guard<std::mutex> hold(lock_);
  callback_ = callback;
  user_ = user;
  if (!callback) queue_.clear();
}

void SessionEvents::Post(HWND window, int32_t type, int32_t channel, int32_t value1, int32_t value2,
                         const char* text) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!callback_ || queue_.size() >= kMaxQueued) return;
    queue_.push_back(Queued{VKT_Event{type, channel, value1, value2, nullptr}, text ? text : ""});
  }
  // One message per event: a message lost to a full thread queue costs
  // no event, the next one delivers it.
  if (window) PostMessageA(window, WM_SESSION_EVENTS, 0, 0);
}

void SessionEvents::Deliver(const bool& stop) {
  while (!stop) {
    Queued next;
    VKT_EventCallback callback;
    void* user;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (queue_.empty() || !callback_) return;
      next = std::move(queue_.front());
      queue_.pop_front();
      callback = callback_;
      user = user_;
    }
    next.event.text = next.text.c_str();
    callback(handle_, &next.event, user);
  }
}

void SessionEvents::NotePicture(HWND window, uint32_t channel, uint32_t width, uint32_t height) {
  if (channel < kChannels) {
    const uint64_t size = (static_cast<uint64_t>(width) << 32) | height;
    const uint64_t before = pictureSize_[channel].exchange(size);
    if (before != size) {
      Post(window, before == 0 ? VKT_EVENT_FIRST_PICTURE : VKT_EVENT_PICTURE_SIZE, static_cast<int32_t>(channel),
           static_cast<int32_t>(width), static_cast<int32_t>(height));
    }
  }
  if (droppedPending_.load(std::memory_order_relaxed) != 0) ReportDropsIfDue(window);
}

void SessionEvents::NoteDropped(HWND window, uint32_t count) {
  droppedPending_.fetch_add(count);
  ReportDropsIfDue(window);
}

void SessionEvents::ReportDropsIfDue(HWND window) {
  const DWORD now = timeGetTime();
  DWORD last = lastDropReport_.load();
  // The first drop is reported at once; later ones wait for the interval.
  if (last != 0 && now - last < kDropReportMs) return;
  if (!lastDropReport_.compare_exchange_strong(last, now ? now : 1)) return;
  const uint32_t count = droppedPending_.exchange(0);
  if (count) Post(window, VKT_EVENT_PICTURES_DROPPED, -1, static_cast<int32_t>(count), 0);
}

void SessionEvents::ForgetPicture(uint32_t channel) {
  if (channel < kChannels) pictureSize_[channel].store(0);
}

void SessionEvents::ForgetPictures() {
  for (auto& size : pictureSize_) size.store(0);
}
