// The viewer's live figures: pictures per second of each channel and the
// process's CPU share, once a second, from the counts of pictures shown in
// the tiles; and the summary at the end: pictures and longest gap per
// channel.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tile_capture.h"

namespace vkt::viewer {

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
