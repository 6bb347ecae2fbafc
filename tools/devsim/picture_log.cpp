// Timestamped lines of the pictures sent, flushed at once so that a
// reader sees them while the simulator runs.
#include "picture_log.h"

namespace vkt::devsim {

PictureLog::PictureLog(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "a");
}

PictureLog::~PictureLog() {
  if (file_) std::fclose(file_);
}

void PictureLog::record(unsigned channel) {
  if (!file_) return;
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  std::lock_guard<std::mutex> hold(mutex_);
  std::fprintf(file_, "%lld %u\n", static_cast<long long>(elapsed), channel);
  std::fflush(file_);
}

}  // namespace vkt::devsim
