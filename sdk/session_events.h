// SessionEvents: the queue between whatever notices an event of a session
// (the window thread's handlers, or the kind-5200 decoder's own thread) and
// the application's callback, which only ever runs on the window thread.
// Posting queues the event under a lock and posts WM_SESSION_EVENTS to the
// hidden window; the window procedure delivers the queue in order. Also
// keeps what events are derived from: each channel's last picture size and
// the pictures dropped since the last report.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "vkt7100sdk_events.h"

// Posted to the hidden window when an event is queued; above the transport's
// messages and outside the range a new connect attempt drops.
constexpr UINT WM_SESSION_EVENTS = WM_USER + 700;

class SessionEvents {
 public:
  static constexpr int kChannels = 16;
  // Events beyond this many undelivered ones are dropped: a thread that
  // stops pumping messages must not grow the queue without bound.
  static constexpr size_t kMaxQueued = 256;
  // Dropped pictures are reported at most this often.
  static constexpr DWORD kDropReportMs = 1000;

  explicit SessionEvents(void* handle) : handle_(handle) {}

  // Window thread only.
  void SetCallback(VKT_EventCallback callback, void* user);
  // Any thread. Queued only while a callback is set.
  void Post(HWND window, int32_t type, int32_t channel, int32_t value1, int32_t value2, const char* text = "");
  // Window thread: calls the callback for each queued event, in order,
  // until the queue is empty or `stop` turns true (checked after each
  // call, as the callback may close the handle).
  void Deliver(const bool& stop);

  // Any thread: a picture of `channel` was drawn at this size; posts the
  // channel's first picture or a change of size, and any drops waiting to
  // be reported.
  void NotePicture(HWND window, uint32_t channel, uint32_t width, uint32_t height);
  // Any thread: pictures were dropped.
  void NoteDropped(HWND window, uint32_t count);
  // The next picture of the channel (or of every channel) counts as first.
  void ForgetPicture(uint32_t channel);
  void ForgetPictures();

 private:
  struct Queued {
    VKT_Event event;
    std::string text;
  };
  void ReportDropsIfDue(HWND window);

  void* const handle_;
  std::mutex lock_;
  std::deque<Queued> queue_;
  VKT_EventCallback callback_ = nullptr;
  void* user_ = nullptr;
  // Width in the high half, height in the low; 0 before the first picture.
  std::atomic<uint64_t> pictureSize_[kChannels] = {};
  std::atomic<uint32_t> droppedPending_{0};
  std::atomic<DWORD> lastDropReport_{0};
};
