// The queue between a kind-5200 session's application thread and its
// decoding thread (see decoder_feed.h for the drop rule).
#include "decoder_feed.h"

#include <new>
#include <system_error>

#include "debug_line.h"

namespace {

// Buffers of decoded boxes kept for the next ones, so that a steady stream
// allocates nothing; more are freed.
constexpr size_t kMaxSpareBuffers = 4;

}  // namespace

bool DecoderFeed::Submit(const uint8_t* annexB, size_t length, bool keyPicture,
                         const std::vector<uint8_t>& parameterSets, const BoxStamp& stamp) {
  if (!annexB || length == 0 || length > kMaxPendingBytes) return false;
  if (restartAtKey_.exchange(false, std::memory_order_acquire)) {
    skipToKey_ = true;
    countSkipped_ = false;
  }
  if (skipToKey_ && !keyPicture) {
    if (countSkipped_) dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  std::vector<uint8_t> box;
  bool restart = skipToKey_;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    const bool full = pending_.size() >= kMaxPendingBoxes || pendingBytes_ + length > kMaxPendingBytes;
    if (full && !keyPicture) {
      skipToKey_ = countSkipped_ = true;
      const uint64_t dropped = dropped_.fetch_add(1, std::memory_order_relaxed) + 1;
      SdkDebugLine("video decoding behind the stream: pictures dropped up to the next key picture (%llu so far)",
                   static_cast<unsigned long long>(dropped));
      return false;
    }
    if (full) {
      // What waits is older than this key picture, which needs none of it.
      dropped_.fetch_add(ClearPendingLocked(), std::memory_order_relaxed);
      restart = true;
    }
    if (!spare_.empty()) {
      box = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  try {
    box.clear();
    if (restart) box.insert(box.end(), parameterSets.begin(), parameterSets.end());
    box.insert(box.end(), annexB, annexB + length);
    std::lock_guard<std::mutex> hold(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    pendingBytes_ += box.size();
    pending_.push_back(Box{std::move(box), stamp});
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::system_error&) {
    return false;  // no thread could be started: nothing was queued
  }
  skipToKey_ = countSkipped_ = false;
  wake_.notify_one();
  return true;
}

size_t DecoderFeed::DiscardPending() {
  std::lock_guard<std::mutex> hold(mutex_);
  skipToKey_ = true;
  countSkipped_ = false;
  return ClearPendingLocked();
}

size_t DecoderFeed::RestartAtKeyPicture() {
  std::lock_guard<std::mutex> hold(mutex_);
  restartAtKey_.store(true, std::memory_order_release);
  return ClearPendingLocked();
}

void DecoderFeed::WaitUntilIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return pending_.empty() && !busy_; });
}

void DecoderFeed::Stop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!thread_.joinable()) return;
    stopping_ = true;
    ClearPendingLocked();
  }
  wake_.notify_all();
  thread_.join();
  std::lock_guard<std::mutex> hold(mutex_);
  stopping_ = false;
  skipToKey_ = true;
  countSkipped_ = false;
}

size_t DecoderFeed::ClearPendingLocked() {
  const size_t boxes = pending_.size();
  for (auto& box : pending_) {
    if (spare_.size() < kMaxSpareBuffers) spare_.push_back(std::move(box.bytes));
  }
  pending_.clear();
  pendingBytes_ = 0;
  if (!busy_) idle_.notify_all();
  return boxes;
}

void DecoderFeed::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    if (stopping_) return;
    Box box = std::move(pending_.front());
    pending_.pop_front();
    pendingBytes_ -= box.bytes.size();
    busy_ = true;
    lock.unlock();
    decode_(context_, box.bytes.data(), static_cast<uint32_t>(box.bytes.size()), box.stamp);
    lock.lock();
    busy_ = false;
    if (spare_.size() < kMaxSpareBuffers) spare_.push_back(std::move(box.bytes));
    if (pending_.empty()) idle_.notify_all();
  }
}
