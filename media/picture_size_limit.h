// The largest picture either device kind may send. Streams change picture
// size mid-stream (a camera switching resolution); every size up to this
// limit is decoded and drawn, the renderer following each change. The
// picture buffers are sized for it. See docs/sessions.md.
#pragma once
#include <cstdint>

// Neither side above 4096 pixels, and no more pixels than 4096 x 2304
// (so 2304 x 4096 upright pictures pass too).
constexpr uint32_t kMaxPictureSide = 4096;
constexpr uint32_t kMaxPicturePixels = 4096 * 2304;
constexpr uint32_t kMaxPictureBytes = kMaxPicturePixels * 3;

// True for a picture within the limit; a picture beyond it (or empty) is
// refused with a debug line naming `source`.
bool AcceptPictureSize(uint32_t width, uint32_t height, const char* source);
