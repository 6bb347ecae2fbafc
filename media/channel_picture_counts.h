// What became of the pictures that named one kind-7100 channel. Plain
// counts, kept by the decode pool and read by the session for the
// application; every received picture ends in exactly one of the four
// outcomes (unwanted, replaced, failed, decoded) (or is still waiting or being decoded).
#pragma once
#include <cstdint>

#include "latency_window.h"

struct ChannelPictureCounts {
  uint64_t received = 0;     // packets that named the channel
  uint64_t unwanted = 0;     // channel not open or no request outstanding: dropped undecoded
  uint64_t replaced = 0;     // a newer picture took their place while they waited: dropped undecoded
  uint64_t failed = 0;       // refused by the decoder
  uint64_t decoded = 0;      // decoded and handed to the renderer
  uint64_t shown = 0;        // of those, drawn into the window
  uint32_t width = 0;        // the last decoded picture as the camera sent it (0 before the first)
  uint32_t height = 0;
  uint32_t decodedWidth = 0;  // and as it was decoded for the window
  uint32_t decodedHeight = 0;
  uint64_t delivered = 0;     // of the decoded, handed to the application's picture callback
  LatencyFigures toBlit;      // arrival to blit, over the last second
  LatencyFigures toCallback;  // arrival to the picture callback, over the last second

  uint64_t DroppedBeforeDecoding() const { return unwanted + replaced; }
};
