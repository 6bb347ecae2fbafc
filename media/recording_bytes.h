// The bytes of a recording file as the reader sees them: a window at a
// time, so that a file of any length is read in memory that does not grow
// with it (vkt-rec reads files through a window of a few MiB; tests and
// the fuzz target hand over memory). Offsets are 64-bit: recordings pass
// 4 GiB.
#pragma once
#include <cstddef>
#include <cstdint>

class RecordingBytes {
 public:
  virtual ~RecordingBytes() = default;
  virtual uint64_t Size() const = 0;
  // The `length` bytes at `offset` (the caller keeps offset + length within
  // Size()), valid until the next call; null when they cannot be read.
  virtual const uint8_t* View(uint64_t offset, size_t length) = 0;
};

class MemoryRecordingBytes : public RecordingBytes {
 public:
  MemoryRecordingBytes(const uint8_t* data, size_t length) : data_(data), length_(data ? length : 0) {}
  uint64_t Size() const override { return length_; }
  const uint8_t* View(uint64_t offset, size_t length) override {
    return offset <= length_ && length <= length_ - offset ? data_ + offset : nullptr;
  }

 private:
  const uint8_t* data_;
  size_t length_;
};
