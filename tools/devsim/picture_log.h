// The simulator's record of what it sent, for soak runs: one line per
// picture (kind 7100) or stream block (kind 5200), "<milliseconds since
// the log opened> <channel>", so that a script can find a channel that
// went without pictures.
#pragma once
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

namespace vkt::devsim {

class PictureLog {
 public:
  // No log when `path` is empty or cannot be opened (appended to).
  explicit PictureLog(const std::string& path);
  ~PictureLog();
  PictureLog(const PictureLog&) = delete;
  PictureLog& operator=(const PictureLog&) = delete;

  // Safe from the device's threads.
  void record(unsigned channel);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace vkt::devsim
