// Live figures of the viewer (see picture_stats.h).
#include "picture_stats.h"

#include <algorithm>
#include <cstdio>

namespace vkt::viewer {

std::string latencyFigures(const std::vector<ChannelLatency>& channels) {
  std::string figures = "  latency";
  char text[48];
  for (size_t channel = 0; channel < channels.size(); ++channel) {
    std::snprintf(text, sizeof text, " ch%zu %.1f/%.1fms", channel, channels[channel].medianUs / 1000.0,
                  channels[channel].worstUs / 1000.0);
    figures += text;
  }
  return figures;
}

uint64_t processCpuTime() {
  FILETIME creation, exit, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return 0;
  auto units = [](const FILETIME& t) { return static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
  return units(kernel) + units(user);
}

PictureStats::PictureStats(size_t channels, DWORD startTick, uint64_t startCpu)
    : startTick_(startTick), lastTick_(startTick), lastCpu_(startCpu), lastCounts_(channels, 0) {}

std::string PictureStats::secondLine(DWORD now, uint64_t cpu, const std::vector<TilePictures>& tiles) {
  // Rates over the time that really passed: timer ticks come late under load.
  const DWORD elapsed = std::max<DWORD>(now - lastTick_, 1);
  char text[64];
  std::snprintf(text, sizeof text, "stats  %.1fs  cpu %.1f%%", (now - startTick_) / 1000.0,
                cpu >= lastCpu_ ? (cpu - lastCpu_) / (elapsed * 100.0) : 0.0);
  std::string line = text;
  for (size_t channel = 0; channel < tiles.size() && channel < lastCounts_.size(); ++channel) {
    const DWORD pictures = tiles[channel].pictures - lastCounts_[channel];
    std::snprintf(text, sizeof text, "  ch%zu %.1f/s", channel, pictures * 1000.0 / elapsed);
    line += text;
    lastCounts_[channel] = tiles[channel].pictures;
  }
  lastTick_ = now;
  lastCpu_ = cpu;
  return line;
}

std::string PictureStats::summaryLine(DWORD now, const std::vector<TilePictures>& tiles) const {
  std::string line = "summary";
  char text[80];
  for (size_t channel = 0; channel < tiles.size(); ++channel) {
    const TilePictures& tile = tiles[channel];
    const DWORD sinceLast = now - (tile.pictures ? tile.lastPictureTick : startTick_);
    std::snprintf(text, sizeof text, "  ch%zu %lu pictures, longest gap %lu ms", channel,
                  static_cast<unsigned long>(tile.pictures),
                  static_cast<unsigned long>(std::max(tile.longestGap, sinceLast)));
    line += text;
  }
  return line;
}

}  // namespace vkt::viewer
