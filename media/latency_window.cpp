// The last second of a channel's picture latencies (see latency_window.h).
#include "latency_window.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>

void LatencyWindow::Add(uint64_t arrivalMicros, uint64_t nowMicros) {
  if (!samples_) samples_.reset(new (std::nothrow) Sample[kSamples]);
  if (!samples_) return;  // without memory the figures leave this picture out
  const uint64_t latency = nowMicros > arrivalMicros ? nowMicros - arrivalMicros : 0;
  samples_[next_] = {nowMicros, static_cast<uint32_t>(std::min<uint64_t>(latency, std::numeric_limits<uint32_t>::max()))};
  next_ = (next_ + 1) % kSamples;
  filled_ = std::min(filled_ + 1, kSamples);
}

LatencyFigures LatencyWindow::Figures(uint64_t nowMicros) const {
  std::array<uint32_t, kSamples> recent;
  size_t count = 0;
  for (size_t i = 0; i < filled_; ++i) {
    const Sample& sample = samples_[i];
    if (sample.doneMicros <= nowMicros && nowMicros - sample.doneMicros < kWindowMicros)
      recent[count++] = sample.latencyMicros;
  }
  LatencyFigures figures;
  if (count == 0) return figures;
  auto middle = recent.begin() + count / 2;
  std::nth_element(recent.begin(), middle, recent.begin() + count);
  figures.medianMicros = *middle;
  figures.worstMicros = *std::max_element(recent.begin(), recent.begin() + count);
  figures.pictures = static_cast<uint32_t>(count);
  return figures;
}
