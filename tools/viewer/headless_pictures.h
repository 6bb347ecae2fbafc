// The pictures the viewer takes through the SDK's picture callback when it
// runs without windows (--headless): per channel, how many came, when the
// last one did and the longest gap, the same figures the display keeps for
// tiles. Written on the SDK's decoding threads (one at a time per
// channel), read on the viewer's thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>

#include "tile_capture.h"
#include "vkt7100sdk_callbacks.h"

namespace vkt::viewer {

class HeadlessPictures {
 public:
  explicit HeadlessPictures(size_t channels);

  // The picture callback; `user` is the HeadlessPictures.
  static void VKT_CALL take(void* handle, const VKT_PICTURE* picture, void* user);
  TilePictures channel(size_t index) const;

 private:
  struct Channel {
    std::atomic<DWORD> pictures{0};
    std::atomic<DWORD> lastTick{0};
    std::atomic<DWORD> longestGap{0};
  };
  std::unique_ptr<Channel[]> channels_;
  size_t count_;
};

}  // namespace vkt::viewer
