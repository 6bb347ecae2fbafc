// Outstanding-record accounting shared by a connection's reader and the
// release callbacks of its posted records.
#include "flow_budget.h"

namespace vkt::transport {

bool FlowBudget::acquire(size_t bytes) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    if (stopped_) return true;
    if (records_ == 0) return true;
    return records_ < limits_.maxRecords && bytes_ + bytes <= limits_.maxBytes;
  });
  if (stopped_) return false;
  bytes_ += bytes;
  ++records_;
  return true;
}

void FlowBudget::refund(size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    bytes_ -= bytes;
    --records_;
  }
  changed_.notify_all();
}

void FlowBudget::stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

void FlowBudget::resume() {
  std::lock_guard lock(mutex_);
  stopped_ = false;
}

size_t FlowBudget::outstandingBytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

size_t FlowBudget::outstandingRecords() const {
  std::lock_guard lock(mutex_);
  return records_;
}

}  // namespace vkt::transport
