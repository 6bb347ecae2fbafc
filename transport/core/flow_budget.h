// Bounds the memory a connection has handed to the window's queue: every
// posted record is charged here before it is read from the socket and
// refunded by the record's release callback, on whatever thread runs it.
// The reader waits while the budget is spent, so a slow window thread
// slows the socket down (TCP flow control) instead of growing the heap.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace vkt::transport {

struct FlowLimits {
  size_t maxBytes = 32u * 1024u * 1024u;
  size_t maxRecords = 256;
};

class FlowBudget {
 public:
  explicit FlowBudget(FlowLimits limits) : limits_(limits) {}

  // Waits until `bytes` more fit (a lone record always fits, so a frame
  // larger than the byte limit cannot wedge the reader), then charges them.
  // Returns false without charging once stop() was called.
  bool acquire(size_t bytes);
  void refund(size_t bytes);

  // Wakes and refuses waiters until resume().
  void stop();
  void resume();

  size_t outstandingBytes() const;
  size_t outstandingRecords() const;

 private:
  const FlowLimits limits_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  size_t bytes_ = 0;
  size_t records_ = 0;
  bool stopped_ = false;
};

}  // namespace vkt::transport
