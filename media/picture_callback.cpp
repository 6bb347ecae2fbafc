// The application's picture callback of one channel (see picture_callback.h).
#include "picture_callback.h"

#include <chrono>

namespace {

thread_local bool t_insidePictureCallback = false;

}  // namespace

uint64_t PictureClockMicros() {
  static const auto start = std::chrono::steady_clock::now();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

bool InsidePictureCallback() { return t_insidePictureCallback; }

void PictureCallback::Set(void* handle, VKT_PictureCallback callback, void* user) {
  std::lock_guard<std::mutex> hold(mutex_);
  handle_ = handle;
  callback_ = callback;
  user_ = user;
}

void PictureCallback::Stop() {
  std::lock_guard<std::mutex> hold(mutex_);
  running_ = false;
}

void PictureCallback::Start() {
  std::lock_guard<std::mutex> hold(mutex_);
  running_ = true;
}

bool PictureCallback::Deliver(VKT_PICTURE& picture) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!running_ || !callback_) return false;
  picture.size = sizeof picture;
  t_insidePictureCallback = true;
  callback_(handle_, &picture, user_);
  t_insidePictureCallback = false;
  return true;
}
