// Values built once per content in the process: the first few contents met
// keep their built value, shared read-only by every record (nearly every
// camera picture carries the same Huffman tables). Slots are filled under
// the lock and never change after, so a found value is read without it.
#pragma once
#include <cstdint>
#include <mutex>

template <typename Content, typename Value, uint32_t kSlots>
class ProcessKept {
 public:
  // The value kept for the content `same` accepts; else, while a slot is
  // free, `build(content, value)` fills it and the value is kept unless
  // build returns false. Null when nothing is kept for the content.
  template <typename Same, typename Build>
  const Value* find_or_build(Same same, Build build) {
    const std::lock_guard<std::mutex> guard(lock_);
    for (uint32_t i = 0; i < count_; ++i) {
      if (same(content_[i])) return &value_[i];
    }
    if (count_ == kSlots || !build(content_[count_], value_[count_])) return nullptr;
    return &value_[count_++];
  }

 private:
  std::mutex lock_;
  uint32_t count_ = 0;
  Content content_[kSlots];
  Value value_[kSlots];
};
