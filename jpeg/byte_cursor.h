// Bounds-checked reading of one marker segment body: every read says
// whether the bytes were there, so a segment that promises more than it
// holds fails cleanly instead of reading past it.
#pragma once
#include <cstdint>

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, uint32_t size) : next_(data), end_(data + size) {}

  uint32_t remaining() const { return static_cast<uint32_t>(end_ - next_); }
  const uint8_t* here() const { return next_; }

  bool read_u8(uint32_t& value) {
    if (remaining() < 1) return false;
    value = *next_++;
    return true;
  }
  bool read_u16(uint32_t& value) {
    if (remaining() < 2) return false;
    value = static_cast<uint32_t>(next_[0] << 8 | next_[1]);
    next_ += 2;
    return true;
  }
  bool skip(uint32_t count) {
    if (remaining() < count) return false;
    next_ += count;
    return true;
  }

 private:
  const uint8_t* next_;
  const uint8_t* end_;
};
