// A channel's latency window: median and worst of the pictures done in the
// second before the reading, older samples left out, a full ring
// overwriting its oldest.
#include <gtest/gtest.h>

#include "latency_window.h"

namespace {

TEST(LatencyWindow, MedianAndWorstOfTheLastSecond) {
  // Each sample: done at `done` µs, `late` µs after its arrival.
  struct Sample {
    uint64_t done, late;
  };
  const struct {
    const char* name;
    std::vector<Sample> samples;
    uint64_t readAt;
    LatencyFigures expected;
  } cases[] = {
      {"none", {}, 5000000, {0, 0, 0}},
      {"one", {{4500000, 3000}}, 5000000, {3000, 3000, 1}},
      {"odd count", {{4100000, 9000}, {4200000, 1000}, {4300000, 4000}}, 5000000, {4000, 9000, 3}},
      {"older than a second", {{3900000, 50000}, {4200000, 2000}}, 5000000, {2000, 2000, 1}},
      {"exactly a second old", {{4000000, 7000}, {4999999, 1000}}, 5000000, {1000, 1000, 1}},
      {"not yet done", {{5000001, 7000}, {4999999, 1000}}, 5000000, {1000, 1000, 1}},
  };
  for (const auto& c : cases) {
    LatencyWindow window;
    for (const Sample& s : c.samples) window.Add(s.done - s.late, s.done);
    const LatencyFigures figures = window.Figures(c.readAt);
    EXPECT_EQ(figures.medianMicros, c.expected.medianMicros) << c.name;
    EXPECT_EQ(figures.worstMicros, c.expected.worstMicros) << c.name;
    EXPECT_EQ(figures.pictures, c.expected.pictures) << c.name;
  }
}

TEST(LatencyWindow, AFullRingKeepsTheNewestSamples) {
  LatencyWindow window;
  // One slow picture, then a ring's worth of fast ones within the second.
  window.Add(0, 900000);
  for (size_t i = 0; i < LatencyWindow::kSamples; ++i) window.Add(900000 + i, 900010 + i);
  const LatencyFigures figures = window.Figures(1000000);
  EXPECT_EQ(figures.worstMicros, 10u);
  EXPECT_EQ(figures.pictures, LatencyWindow::kSamples);
}

}  // namespace
