// The triangle filter for upsampling_kind = 1: chroma at half resolution
// (frames whose largest factors are 2x1 or 2x2) is interpolated from its
// neighbours with 3:1 and 9:3:3:1 weights instead of replicated. MCUs are
// stored into a context of three MCU rows; a row is written once the row
// below it is known (2x2) or at once (2x1).
#pragma once
#include "jpeg_record.h"

// Whether the filter writes this scan: a picture read at full size whose
// interleaved MCUs carry every component of a 2x1 or 2x2 frame.
bool filter_applies(const DecoderState& state, uint32_t scan_components);

// Sizes and allocates the context, widens the region's MCU range by one
// MCU on each side (the filter's neighbours). Returns 0 or JPEG_ERR_MEMORY.
JpegStatus prepare_filter(DecoderState& state, uint32_t mcu_columns, uint32_t mcu_rows);

// The band of MCU row mcu_row in the context: block b of the MCU in
// column c goes to filter_block_first(filter, band, b, c), its lines
// places[b].stride apart. The band has room for the scan's MCU columns only.
uint8_t* filter_band(const UpsampleFilter& filter, uint32_t mcu_row);
inline uint8_t* filter_block_first(const UpsampleFilter& filter, uint8_t* band, uint32_t block, uint32_t mcu_column) {
  const UpsampleFilter::BlockPlace& place = filter.places[block];
  return band + place.offset + size_t{mcu_column} * place.column_step;
}

// Stores the transformed MCU, unless its blocks are in the context already
// (`stored`), and writes the rows that became complete.
void filter_mcu(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row, uint32_t mcu_columns, uint32_t mcu_rows,
                bool stored);

// Fills the triangle filter's side members (pair writers, one-pass
// colour rows) with the portable ones.
void fill_triangle_members(SideMembers& members);

// The column sums 3 * row[i] + neighbour[i] of 2x2 chroma: the portable
// member, and the vector members' columns short of a step.
inline void triangle_terms(const uint8_t* row, const uint8_t* neighbour, int16_t* terms, int count) {
  for (int i = 0; i < count; ++i) terms[i] = static_cast<int16_t>(3 * row[i] + neighbour[i]);
}

// The pixel pairs of `count` chroma columns: left (3 * t[k] + t[k - 1] +
// kLeftRound) >> kShift, right (3 * t[k] + t[k + 1] + kRightRound) >> kShift.
// The portable member, and the vector members' columns short of a step.
template <int kShift, int kLeftRound, int kRightRound>
void triangle_pairs(const int16_t* terms, int16_t* out, int count) {
  for (int k = 0; k < count; ++k) {
    out[2 * k] = static_cast<int16_t>((3 * terms[k] + terms[k - 1] + kLeftRound) >> kShift);
    out[2 * k + 1] = static_cast<int16_t>((3 * terms[k] + terms[k + 1] + kRightRound) >> kShift);
  }
}
