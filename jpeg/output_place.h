// Placement of one MCU in the caller's picture: where its clipped part
// starts and which of its pixels lie inside the picture (and the region of
// interest, whose top-left pixel is the picture's first pixel). Every
// picture write goes through a placement, so no write can leave the
// picture_width x |picture_height| rectangle the caller declared.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "force_inline.h"
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

// Asks for the picture bytes of pixels x..x+width-1 on lines y..y+height-1
// (clipped to the picture; a read without a region) to be brought into the
// caches for writing. Called ahead of the stores, so that their cache
// misses overlap the decoding instead of stalling the stores: an MCU's
// stores touch 8 or 16 picture lines a row apart, each a fresh cache line
// on wide pictures. Always inlined: as a call the compiler sees no effect
// of it (it cannot observe a prefetch) and drops it.
VKT_FORCE_INLINE void prefetch_picture_span(const ReadFields& fields, int64_t x, int64_t y, int64_t width,
                                             int64_t height) {
  constexpr int64_t kCacheLine = 64;
  const int64_t picture_rows = std::llabs(int64_t{fields.picture_height});
  const int64_t end_x = std::min<int64_t>(x + width, fields.picture_width);
  const int64_t end_y = std::min(y + height, picture_rows);
  if (x >= end_x) return;
  // One byte per cache line, from the span's last: the spans of
  // neighbouring MCUs touch, so the last bytes of spans shorter than a
  // line still reach every line.
  const int64_t first = x * fields.picture_channels, last = end_x * fields.picture_channels - 1;
  const uint8_t* line = fields.picture_bytes + y * fields.row_stride;
  for (; y < end_y; ++y, line += fields.row_stride) {
    for (int64_t byte = last; byte >= first; byte -= kCacheLine) __builtin_prefetch(line + byte, 1);
  }
}

// The same for a span no longer than a cache line on kLines lines that
// all lie in the picture (those of a whole MCU): one prefetch per line,
// unrolled, where the loops above cost an MCU of 16 lines 180
// instructions.
template <int kLines>
VKT_FORCE_INLINE void prefetch_short_span(const ReadFields& fields, int64_t x, int64_t y, int64_t width) {
  const int64_t end_x = std::min<int64_t>(x + width, fields.picture_width);
  if (x >= end_x) return;
  const uint8_t* last = fields.picture_bytes + y * fields.row_stride + end_x * fields.picture_channels - 1;
  #pragma GCC unroll 16
  for (int i = 0; i < kLines; ++i) __builtin_prefetch(last + i * fields.row_stride, 1);
}
