// Placement of one MCU in the caller's picture: where its clipped part
// starts and which of its pixels lie inside the picture (and the region of
// interest, whose top-left pixel is the picture's first pixel). Every
// picture write goes through a placement, so no write can leave the
// picture_width x |picture_height| rectangle the caller declared.
#pragma once
#include <cstdint>

#include "jpeg_record.h"

// Pixels of an MCU, relative to its top-left corner; right and bottom are
// exclusive.
struct ClipRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct McuPlacement {
  uint8_t* first_pixel;  // the picture byte of MCU pixel (clip.left, clip.top)
  ptrdiff_t row_stride;  // negative for a bottom-up picture
  uint32_t bytes_per_pixel;
  ClipRect clip;
};

// False when nothing of the MCU at (column, row), of the given size, lies
// inside the picture and the region in force.
bool place_mcu(const DecoderState& state, uint32_t mcu_width, uint32_t mcu_height, uint32_t column,
               uint32_t row, McuPlacement& placement);

inline bool is_whole_mcu(const ClipRect& clip, uint32_t width, uint32_t height) {
  return clip.left == 0 && clip.top == 0 && clip.right == static_cast<int32_t>(width) &&
         clip.bottom == static_cast<int32_t>(height);
}
