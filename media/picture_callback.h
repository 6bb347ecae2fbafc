// PictureCallback: one channel's hand-over of decoded pictures to the
// application's code, on the thread that decoded them (a kind-7100 decode
// worker, the kind-5200 decoding thread).
//
// One mutex is held for the length of each call, so whoever changes the
// callback, stops or resumes delivery (the handle's own thread, when it
// sets a callback or closes the channel or the handle) waits for a call
// under way to end, and none with the old state follows. The thread that
// runs a callback is marked for that time: every SDK call it makes is
// refused before the handle is even looked at, so a callback can never
// take part in the handle's closing (and so wait for itself).
#pragma once
#include <cstdint>
#include <mutex>

#include "vkt7100sdk_callbacks.h"

// Microseconds on a steady clock since the first call in the process:
// arrival times and latencies of pictures.
uint64_t PictureClockMicros();

// True on a thread while it runs an application's picture callback.
bool InsidePictureCallback();

class PictureCallback {
 public:
  // `handle` is what the callback is told the picture belongs to.
  void Set(void* handle, VKT_PictureCallback callback, void* user);
  // Delivery off (a closed channel) or on again; both wait for a call
  // under way.
  void Stop();
  void Start();
  // Calls the callback, if one is set and delivery is on, with `picture`
  // (its size field filled here). True when it was called.
  bool Deliver(VKT_PICTURE& picture);

 private:
  std::mutex mutex_;
  void* handle_ = nullptr;
  VKT_PictureCallback callback_ = nullptr;
  void* user_ = nullptr;
  bool running_ = false;
};
