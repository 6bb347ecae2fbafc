// LatencyWindow: how late a channel's pictures were over the last second
// (from their arrival at the SDK to their blit, or to the application's
// picture callback), as the median and the worst. Samples go into a ring
// of fixed size, taken from the heap with the first sample (sessions stay
// small: channels that never get a picture cost nothing) and never grown,
// so a fast channel costs no allocation; the caller guards it with the
// lock of the counts it belongs to.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

struct LatencyFigures {
  uint32_t medianMicros = 0;  // 0 when no picture came in the window
  uint32_t worstMicros = 0;
  uint32_t pictures = 0;      // samples in the window (at most the ring's size)
};

class LatencyWindow {
 public:
  static constexpr uint64_t kWindowMicros = 1000000;
  static constexpr size_t kSamples = 1024;

  // One picture, done at `nowMicros`, that arrived at `arrivalMicros`.
  void Add(uint64_t arrivalMicros, uint64_t nowMicros);
  // The samples of the second before `nowMicros`.
  LatencyFigures Figures(uint64_t nowMicros) const;

 private:
  struct Sample {
    uint64_t doneMicros;
    uint32_t latencyMicros;
  };
  std::unique_ptr<Sample[]> samples_;
  size_t next_ = 0;
  size_t filled_ = 0;
};
