// Windowed reads of a recording file (file_recording_bytes.h).
#include "file_recording_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vkt::rec {

FileRecordingBytes::~FileRecordingBytes() {
  if (fd_ >= 0) close(fd_);
}

bool FileRecordingBytes::Open(const std::string& path) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd_ < 0 || fstat(fd_, &info) != 0) return false;
  size_ = static_cast<uint64_t>(info.st_size);
  // The reader goes through the file once, front to back.
  posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

const uint8_t* FileRecordingBytes::View(uint64_t offset, size_t length) {
  if (offset > size_ || length > size_ - offset) return nullptr;
  if (offset >= windowStart_ && offset + length <= windowStart_ + windowLength_)
    return window_.data() + (offset - windowStart_);
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(std::max(length, kReadAhead), size_ - offset));
  if (window_.size() < wanted) window_.resize(wanted);
  size_t done = 0;
  while (done < wanted) {
    const ssize_t n = pread(fd_, window_.data() + done, wanted - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  windowStart_ = offset;
  windowLength_ = done;
  return done >= length ? window_.data() : nullptr;
}

}  // namespace vkt::rec
