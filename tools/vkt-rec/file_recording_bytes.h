// A recording file read through a window: the reader and the export see
// the file as RecordingBytes, and what is held in memory is one window
// (at least kReadAhead bytes, at most the largest box), whatever the
// file's length. Reads go through pread, so the page cache serves them
// without counting against the process.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "recording_bytes.h"

namespace vkt::rec {

class FileRecordingBytes : public RecordingBytes {
 public:
  static constexpr size_t kReadAhead = 4u << 20;

  ~FileRecordingBytes() override;
  // False with errno set when the file cannot be opened or sized.
  bool Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  const uint8_t* View(uint64_t offset, size_t length) override;

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
};

}  // namespace vkt::rec
