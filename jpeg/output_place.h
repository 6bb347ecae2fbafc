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

// The picture byte of the MCU's top-left pixel when the whole MCU lies
// inside the picture of a read without a region, as most MCUs do; null
// otherwise (place_mcu then clips it). Cheaper than a placement.
inline uint8_t* whole_mcu_origin(const DecoderState& state, uint32_t mcu_width, uint32_t mcu_height, uint32_t column,
                                 uint32_t row) {
  const ReadFields& fields = state.fields;
  const uint64_t x_end = (uint64_t{column} + 1) * mcu_width, y_end = (uint64_t{row} + 1) * mcu_height;
  const int64_t height = fields.picture_height;
  const uint64_t picture_rows = static_cast<uint64_t>(height < 0 ? -height : height);
  if (state.output.region_active || x_end > fields.picture_width || y_end > picture_rows) return nullptr;
  return fields.picture_bytes + static_cast<int64_t>(y_end - mcu_height) * fields.row_stride +
         static_cast<int64_t>(x_end - mcu_width) * fields.picture_channels;
}
