// The general writer's common colour case in one pass: a YCbCr frame of
// three components into a 3-byte RGB or BGR picture, as scaled reads and
// other layouts without a fast routine have it. Each row's Y, Cb and Cr
// samples are gathered with the general writer's replication into short
// arrays, which a row converter (a side member, so with vector members)
// turns into pixels with the in-place conversion's arithmetic: the bytes
// are exactly those of storing the components and converting the pixels
// afterwards, without writing the picture twice or converting per sample.
//
// Scaled reads have small MCUs (4x4 pixels at 1/4, 2x2 at 1/8), whose
// lines are too short for the vector converters: their rows go into the
// record's row band and are converted a picture line at a time once the
// MCU row is done or the MCU loop returns.
#include "output_colour_direct.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "colour_convert.h"
#include "output_band_rows.h"

namespace {

// Row y's samples of the clip's columns, clamped as the general writer
// stores them.
void gather(const DecoderState& state, const OutputComponent& component, const ClipRect& clip, int y,
            int16_t* out) {
  // The component's blocks lie one after the other in the MCU buffer.
  const int16_t* samples = state.mcu_blocks[component.first_block].coef;
  const int16_t* row = samples + component.row_offset[y];
  const uint8_t* column = component.column_offset + clip.left;
  for (int i = 0; i < clip.right - clip.left; ++i) out[i] = clamp_sample(row[column[i]]);
}

template <bool kBgr>
void convert_ycc_row(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, int width) {
  for (int x = 0; x < width; ++x, out += 3) store_in_place_pixel<kBgr>(out, luma[x], cb[x], cr[x]);
}

}  // namespace

void fill_ycc_rows(SideMembers& members) {
  members.ycc_row_rgb = convert_ycc_row<false>;
  members.ycc_row_bgr = convert_ycc_row<true>;
}

bool colour_direct_applies(const DecoderState& state) {
  const ReadFields& fields = state.fields;
  const OutputPlan& plan = state.output;
  const bool rgb_picture = fields.picture_color == COLOR_RGB || fields.picture_color == COLOR_BGR;
  if (state.multi_scan || plan.component_count != 3 || state.frame.component_count != 3 ||
      fields.jpeg_color != COLOR_YCBCR || !fields.color_conversion_required || !rgb_picture ||
      fields.picture_channels != 3)
    return false;
  for (uint32_t i = 0; i < 3; ++i) {
    if (plan.components[i].picture_byte != i) return false;
  }
  return true;
}

namespace {

YccRowConverter row_converter(const DecoderState& state) {
  return state.fields.picture_color == COLOR_BGR ? state.side_members.ycc_row_bgr : state.side_members.ycc_row_rgb;
}

int16_t* band_line(const RowBand& band, uint32_t plane, int32_t line) {
  return band.samples + (size_t{plane} * band.lines + static_cast<uint32_t>(line)) * band.line_width;
}

// A whole MCU's component, replicated by whole ratios of at most 2 across
// (4:2:2 chroma) and any down: its blocks' sample rows copied, or each
// sample twice, with the row length known to the compiler (the transforms
// give samples in 0..255 already). kDown is the ratio down when it is 1
// or 2 (every layout of the common samplings), so that the copies unroll;
// 0 takes it from the component.
template <uint32_t kSize, uint32_t kAcross, uint32_t kDown>
void copy_blocks(const DecoderState& state, const OutputComponent& component, const RowBand& band, uint32_t plane) {
  const CoefficientBlock* block = state.mcu_blocks + component.first_block;
  // Read once: the row stores below may alias the band's fields as far as
  // the compiler knows, which would reload them after every row.
  const uint32_t down = kDown != 0 ? kDown : component.ratio_v;
  const uint32_t blocks_wide = component.blocks_wide, blocks_high = component.blocks_high;
  const size_t line_width = band.line_width;
  int16_t* const first = band_line(band, plane, 0) + band.filled;
  const size_t block_row_step = kSize * down * line_width;
  for (uint32_t by = 0; by < blocks_high; ++by) {
    int16_t* const block_row = first + by * block_row_step;
    for (uint32_t bx = 0; bx < blocks_wide; ++bx, ++block) {
      int16_t* out = block_row + bx * kSize * kAcross;
      for (uint32_t r = 0; r < kSize; ++r) {
        const int16_t* in = block->coef + 8 * r;
        for (uint32_t copy = 0; copy < down; ++copy, out += line_width) {
          if constexpr (kAcross == 1) {
            std::memcpy(out, in, kSize * sizeof(int16_t));
          } else {
            for (uint32_t i = 0; i < kSize; ++i) out[2 * i] = out[2 * i + 1] = in[i];
          }
        }
      }
    }
  }
}

template <uint32_t kSize, uint32_t kAcross>
void copy_blocks(const DecoderState& state, const OutputComponent& component, const RowBand& band, uint32_t plane) {
  switch (component.ratio_v) {
    case 1: return copy_blocks<kSize, kAcross, 1>(state, component, band, plane);
    case 2: return copy_blocks<kSize, kAcross, 2>(state, component, band, plane);
    default: return copy_blocks<kSize, kAcross, 0>(state, component, band, plane);
  }
}

template <uint32_t kAcross>
void copy_blocks(const DecoderState& state, const OutputComponent& component, const RowBand& band, uint32_t plane) {
  switch (component.block_size) {
    case 8: return copy_blocks<8, kAcross>(state, component, band, plane);
    case 4: return copy_blocks<4, kAcross>(state, component, band, plane);
    case 2: return copy_blocks<2, kAcross>(state, component, band, plane);
    default: return copy_blocks<1, kAcross>(state, component, band, plane);
  }
}

// Adds the placed MCU to the band; a band it does not continue (another
// MCU row, or no room left) is converted first.
void gather_into_band(DecoderState& state, const McuPlacement& placement) {
  RowBand& band = state.band;
  const ClipRect& clip = placement.clip;
  const uint32_t width = static_cast<uint32_t>(clip.right - clip.left);
  const bool continues = band.filled > 0 && clip.top == band.top && clip.bottom == band.bottom &&
                         placement.row_stride == band.row_stride &&
                         reinterpret_cast<uintptr_t>(placement.first_pixel) ==
                             reinterpret_cast<uintptr_t>(band.first_pixel) + 3 * uintptr_t{band.filled} &&
                         band.filled + width <= band.line_width;
  if (!continues) {
    flush_row_band(state);
    band.top = clip.top;
    band.bottom = clip.bottom;
    band.first_pixel = placement.first_pixel;
    band.row_stride = placement.row_stride;
  }
  const OutputPlan& plan = state.output;
  const bool whole = is_whole_mcu(clip, plan.mcu_width, plan.mcu_height);
  for (uint32_t c = 0; c < 3; ++c) {
    const OutputComponent& component = plan.components[c];
    if (whole && component.ratio_h <= 2) {
      if (component.ratio_h == 1) copy_blocks<1>(state, component, band, c);
      else copy_blocks<2>(state, component, band, c);
      continue;
    }
    for (int32_t y = clip.top; y < clip.bottom; ++y)
      gather(state, component, clip, y, band_line(band, c, y - clip.top) + band.filled);
  }
  band.filled += width;
}

}  // namespace

void prepare_row_band(DecoderState& state) {
  RowBand& band = state.band;
  const OutputPlan& plan = state.output;
  band.active = 0;
  band.whole_rows = 0;
  band.filled = 0;
  if (plan.use_filter || plan.use_fast_routine || !colour_direct_applies(state) ||
      plan.mcu_width > kMaxOutputMcuSide || plan.mcu_height > kMaxOutputMcuSide)
    return;
  const uint64_t image_width = uint64_t{plan.mcu_columns} * plan.mcu_width;
  const uint64_t row_pixels = std::min<uint64_t>(state.fields.picture_width, image_width);
  const bool whole_rows = select_band_writers(state);
  // Whole rows place every MCU of a row, also those past a narrower picture.
  const uint64_t width = ((whole_rows ? image_width : row_pixels) + 15) & ~uint64_t{15};
  const uint64_t samples = 3 * width * plan.mcu_height;
  // Beyond the bound the MCUs are converted one by one, as without a band.
  if (width == 0 || samples * sizeof(int16_t) > kMaxRowBandBytes) return;
  if (band.capacity < samples) {
    std::free(band.samples);
    // Zeroed: the converters read a line up to a multiple of 16 samples.
    band.samples = static_cast<int16_t*>(std::calloc(samples, sizeof(int16_t)));
    band.capacity = band.samples != nullptr ? samples : 0;
    if (band.samples == nullptr) return;
  }
  band.line_width = static_cast<uint32_t>(width);
  band.lines = plan.mcu_height;
  band.active = 1;
  band.whole_rows = whole_rows;
  band.row_pixels = static_cast<uint32_t>(row_pixels);
}

void flush_row_band(DecoderState& state) {
  RowBand& band = state.band;
  if (band.filled == 0) return;
  const YccRowConverter convert = row_converter(state);
  for (int32_t y = 0; y < band.bottom - band.top; ++y) {
    convert(band_line(band, 0, y), band_line(band, 1, y), band_line(band, 2, y),
            band.first_pixel + y * band.row_stride, static_cast<int>(band.filled));
  }
  band.filled = 0;
}

bool write_colour_direct(DecoderState& state, const McuPlacement& placement) {
  const OutputPlan& plan = state.output;
  if (state.band.active && placement.clip.right - placement.clip.left <= static_cast<int32_t>(state.band.line_width)) {
    gather_into_band(state, placement);
    return true;
  }
  if (!colour_direct_applies(state) || plan.mcu_width > kMaxOutputMcuSide || plan.mcu_height > kMaxOutputMcuSide)
    return false;
  const ClipRect& clip = placement.clip;
  const YccRowConverter convert = row_converter(state);
  // Zeroed, so the row converters may read up to a multiple of 16.
  alignas(16) int16_t rows[3][kMaxOutputMcuSide] = {};
  for (int y = clip.top; y < clip.bottom; ++y) {
    for (int c = 0; c < 3; ++c) gather(state, plan.components[c], clip, y, rows[c]);
    convert(rows[0], rows[1], rows[2], placement.first_pixel + (y - clip.top) * placement.row_stride,
            clip.right - clip.left);
  }
  return true;
}
