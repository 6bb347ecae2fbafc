// Counting the pictures of channels without windows (see headless_pictures.h).
#include "headless_pictures.h"

namespace vkt::viewer {

HeadlessPictures::HeadlessPictures(size_t channels) : channels_(new Channel[channels]), count_(channels) {}

void VKT_CALL HeadlessPictures::take(void*, const VKT_PICTURE* picture, void* user) {
  auto& self = *static_cast<HeadlessPictures*>(user);
  if (!picture || picture->channel >= self.count_) return;
  Channel& channel = self.channels_[picture->channel];
  const DWORD now = GetTickCount();
  const DWORD pictures = channel.pictures.load(std::memory_order_relaxed);
  if (pictures > 0) {
    const DWORD gap = now - channel.lastTick.load(std::memory_order_relaxed);
    if (gap > channel.longestGap.load(std::memory_order_relaxed)) channel.longestGap.store(gap, std::memory_order_relaxed);
  }
  channel.lastTick.store(now, std::memory_order_relaxed);
  channel.pictures.store(pictures + 1, std::memory_order_relaxed);
}

TilePictures HeadlessPictures::channel(size_t index) const {
  if (index >= count_) return {};
  const Channel& channel = channels_[index];
  return TilePictures{channel.pictures.load(std::memory_order_relaxed), channel.lastTick.load(std::memory_order_relaxed),
                      channel.longestGap.load(std::memory_order_relaxed)};
}

}  // namespace vkt::viewer
