// The viewer's live figures: pictures per second of each channel and the
// process's CPU share, once a second, from the counts of pictures shown in
// the tiles; and the summary at the end: pictures and longest gap per
// channel; and how late the pictures were (the SDK's figures).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tile_capture.h"

namespace vkt::viewer {

// How late one channel's pictures of the last second were, in microseconds.
struct ChannelLatency {
  uint32_t medianUs = 0;
  uint32_t worstUs = 0;
};

// "  latency ch0 <median>/<worst>ms ch1 ...", in milliseconds to a tenth.
std::string latencyFigures(const std::vector<ChannelLatency>& channels);

// CPU time the process has used (all threads), in 100 ns units.
uint64_t processCpuTime();

class PictureStats {
 public:
  PictureStats(size_t channels, DWORD startTick, uint64_t startCpu);

  // "stats  <seconds>s  cpu <share>%  ch0 <n>/s  ch1 ..." for the time since
  // the previous line (or the start); the share is of one processor.
  std::string secondLine(DWORD now, uint64_t cpu, const std::vector<TilePictures>& tiles);

  // "summary  ch0 <n> pictures, longest gap <ms> ms  ch1 ..."; the time from
  // the last picture (or from the start, if none came) to `now` is a gap too.
  std::string summaryLine(DWORD now, const std::vector<TilePictures>& tiles) const;

 private:
  DWORD startTick_;
  DWORD lastTick_;
  uint64_t lastCpu_;
  std::vector<DWORD> lastCounts_;
};

}  // namespace vkt::viewer
