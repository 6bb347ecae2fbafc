// Scaled colour reads by whole MCU rows. The per-MCU path (placement,
// clipping, a check that the MCU continues the band, block samples stored
// and copied again) costs more than the reconstruction itself when an MCU
// gives 2x2 or 4x4 pixels. Here MCU column c of a row starts at sample
// c x mcu_width of each band line, writers chosen once per scan (one for
// the whole MCU in the common layouts, else one per component)
// reconstruct its blocks there, and a block without AC terms (every
// block at 1/8) goes in as one sample filled over its place, with the
// value the 1x1 member gives. The band is converted when the row is done,
// or by flush_row_band when the MCU loop returns early.
#include "output_band_rows.h"

#include <algorithm>
#include <cstring>

#include "idct.h"
#include "idct_arith.h"
#include "output_colour_direct.h"

namespace {

// The block's kSize x kSize samples (stride 8), each repeated kAcross
// times along a line and onto kDown lines.
template <uint32_t kSize, uint32_t kAcross, uint32_t kDown>
inline void put_samples(const int16_t* samples, int16_t* out, size_t line_width) {
  for (uint32_t r = 0; r < kSize; ++r, samples += 8) {
    for (uint32_t copy = 0; copy < kDown; ++copy, out += line_width) {
      if constexpr (kAcross == 1) {
        std::memcpy(out, samples, kSize * sizeof(int16_t));
      } else {
        for (uint32_t i = 0; i < kSize; ++i)
          for (uint32_t copy = 0; copy < kAcross; ++copy) out[kAcross * i + copy] = samples[i];
      }
    }
  }
}

template <uint32_t kSize, uint32_t kAcross, uint32_t kDown>
inline void put_sample(int16_t sample, int16_t* out, size_t line_width) {
  for (uint32_t line = 0; line < kSize * kDown; ++line, out += line_width) {
    for (uint32_t i = 0; i < kSize * kAcross; ++i) out[i] = sample;
  }
}

template <uint32_t kSize, uint32_t kAcross, uint32_t kDown, bool kPrecise>
inline void write_block(DecoderState& state, const OutputComponent& component, const int16_t* table,
                        CoefficientBlock* block, int16_t* out, size_t line_width) {
  if (kSize == 1 || has_only_dc(*block)) {
    const int16_t dc = block->coef[0];
    const int16_t value = kPrecise ? dequantised_precise(dc, table[0]) : dequantised_fast(dc, table[0]);
    if (kSize == 1 || (value > -kDcAloneLimit && value < kDcAloneLimit)) {
      put_sample<kSize, kAcross, kDown>(kPrecise ? PreciseDcSample(value) : FastDcSample(value), out, line_width);
      return;
    }
  }
  if (component.dequantised_transform != nullptr) {
    component.dequantised_transform(block, table);
  } else {
    state.ops.current_dequantise(block, table);
    component.transform(block);
  }
  put_samples<kSize, kAcross, kDown>(block->coef, out, line_width);
}

// Inlined into write_mcu; the writers per component are its address.
template <uint32_t kSize, uint32_t kAcross, uint32_t kDown, bool kPrecise>
VKT_FORCE_INLINE void write_component(DecoderState& state, const OutputComponent& component, int16_t* first,
                                      size_t line_width) {
  const int16_t* const table = state.quant[component.quant_table].prepared;
  CoefficientBlock* block = state.mcu_blocks + component.first_block;
  const uint32_t blocks_wide = component.blocks_wide, blocks_high = component.blocks_high;
  for (uint32_t by = 0; by < blocks_high; ++by) {
    int16_t* out = first + by * kSize * kDown * line_width;
    for (uint32_t bx = 0; bx < blocks_wide; ++bx, ++block, out += kSize * kAcross)
      write_block<kSize, kAcross, kDown, kPrecise>(state, component, table, block, out, line_width);
  }
}

template <uint32_t kSize, uint32_t kAcross, uint32_t kDown>
BandComponentWriter writer_for(bool precise) {
  return precise ? write_component<kSize, kAcross, kDown, true> : write_component<kSize, kAcross, kDown, false>;
}

template <uint32_t kSize>
BandComponentWriter writer_for(uint32_t across, uint32_t down, bool precise) {
  if (across == 1) return down == 1 ? writer_for<kSize, 1, 1>(precise) : writer_for<kSize, 1, 2>(precise);
  return down == 1 ? writer_for<kSize, 2, 1>(precise) : writer_for<kSize, 2, 2>(precise);
}

BandComponentWriter writer_for(const OutputComponent& component, bool precise) {
  if (component.ratio_h > 2 || component.ratio_v > 2) return nullptr;
  switch (component.block_size) {
    case 8: return writer_for<8>(component.ratio_h, component.ratio_v, precise);
    case 4: return writer_for<4>(component.ratio_h, component.ratio_v, precise);
    case 2: return writer_for<2>(component.ratio_h, component.ratio_v, precise);
    case 1: return writer_for<1>(component.ratio_h, component.ratio_v, precise);
    default: return nullptr;
  }
}

// Chroma as large as the luma and unreplicated: the luma is one block too,
// as the chroma's one block covers the MCU.
template <uint32_t kSize, uint32_t kChromaSize, uint32_t kAcross, uint32_t kDown>
constexpr bool kOneLumaBlock = kChromaSize == kSize && kAcross == 1 && kDown == 1;

// An MCU whose first component has one or more blocks at ratio 1, and
// whose other two have one block each, of the same size (kChromaSize, at
// most the luma size times two) and ratio (4:4:4, and 4:2:2 and 4:2:0
// with or without a larger chroma transform): one call for the three,
// where a call per component costs, in its setup, about what a 4x4 or
// smaller block's reconstruction does.
template <uint32_t kSize, uint32_t kChromaSize, uint32_t kAcross, uint32_t kDown, bool kPrecise>
void write_mcu(DecoderState& state, int16_t* first, size_t plane_samples, size_t line_width) {
  const OutputComponent* components = state.output.components;
  if constexpr (kOneLumaBlock<kSize, kChromaSize, kAcross, kDown>) {
    write_block<kSize, 1, 1, kPrecise>(state, components[0], state.quant[components[0].quant_table].prepared,
                                       state.mcu_blocks + components[0].first_block, first, line_width);
  } else {
    write_component<kSize, 1, 1, kPrecise>(state, components[0], first, line_width);
  }
  for (uint32_t c = 1; c < 3; ++c) {
    const OutputComponent& component = components[c];
    write_block<kChromaSize, kAcross, kDown, kPrecise>(state, component, state.quant[component.quant_table].prepared,
                                                       state.mcu_blocks + component.first_block,
                                                       first + c * plane_samples, line_width);
  }
}

template <uint32_t kSize, uint32_t kAcross, uint32_t kDown, bool kPrecise>
BandMcuWriter mcu_writer_for(uint32_t chroma_size) {
  if (chroma_size == kSize) return write_mcu<kSize, kSize, kAcross, kDown, kPrecise>;
  if constexpr (kSize < 8) {
    if (chroma_size == 2 * kSize) return write_mcu<kSize, 2 * kSize, kAcross, kDown, kPrecise>;
  }
  return nullptr;
}

template <uint32_t kAcross, uint32_t kDown, bool kPrecise>
BandMcuWriter mcu_writer_for(uint32_t size, uint32_t chroma_size) {
  switch (size) {
    case 8: return mcu_writer_for<8, kAcross, kDown, kPrecise>(chroma_size);
    case 4: return mcu_writer_for<4, kAcross, kDown, kPrecise>(chroma_size);
    case 2: return mcu_writer_for<2, kAcross, kDown, kPrecise>(chroma_size);
    case 1: return mcu_writer_for<1, kAcross, kDown, kPrecise>(chroma_size);
    default: return nullptr;
  }
}

template <bool kPrecise>
BandMcuWriter mcu_writer_for(uint32_t across, uint32_t down, uint32_t size, uint32_t chroma_size) {
  if (across == 1 && down == 1) return mcu_writer_for<1, 1, kPrecise>(size, chroma_size);
  if (across == 2 && down == 1) return mcu_writer_for<2, 1, kPrecise>(size, chroma_size);
  if (across == 2 && down == 2) return mcu_writer_for<2, 2, kPrecise>(size, chroma_size);
  return nullptr;
}

// The whole-MCU writer for the layouts write_mcu takes; null for others.
// Cr of Cb's size and ratio has Cb's one block too, and with chroma of
// one block the luma has the largest sampling factors: it is at ratio 1.
BandMcuWriter mcu_writer_for(const OutputPlan& plan, bool precise) {
  const OutputComponent &luma = plan.components[0], &cb = plan.components[1], &cr = plan.components[2];
  if (cb.blocks_wide != 1 || cb.blocks_high != 1 || cr.block_size != cb.block_size || cr.ratio_h != cb.ratio_h ||
      cr.ratio_v != cb.ratio_v)
    return nullptr;
  return precise ? mcu_writer_for<true>(cb.ratio_h, cb.ratio_v, luma.block_size, cb.block_size)
                 : mcu_writer_for<false>(cb.ratio_h, cb.ratio_v, luma.block_size, cb.block_size);
}

}  // namespace

bool select_band_writers(DecoderState& state) {
  const OutputPlan& plan = state.output;
  RowBand& band = state.band;
  if (plan.region_active || state.interrupt) return false;
  const bool precise = state.ops.current_dequantise == state.ops.dequantise_precise;
  for (uint32_t c = 0; c < 3; ++c) {
    band.writers[c] = writer_for(plan.components[c], precise);
    if (band.writers[c] == nullptr) return false;
  }
  band.mcu_writer = mcu_writer_for(plan, precise);
  return true;
}

void output_mcu_to_band(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row) {
  RowBand& band = state.band;
  const OutputPlan& plan = state.output;
  if (mcu_column == 0) {
    const int64_t top = int64_t{mcu_row} * plan.mcu_height;
    const int64_t lines = std::min<int64_t>(plan.mcu_height, std::llabs(int64_t{state.fields.picture_height}) - top);
    band.top = 0;
    band.bottom = static_cast<int32_t>(std::max<int64_t>(lines, 0));
    band.row_stride = state.fields.row_stride;
    band.first_pixel = lines > 0 ? state.fields.picture_bytes + top * band.row_stride : nullptr;
    band.filled = 0;
  }
  if (band.bottom == 0) return;
  const size_t x = size_t{mcu_column} * plan.mcu_width;
  const size_t plane_samples = size_t{band.lines} * band.line_width;
  if (band.mcu_writer != nullptr) {
    band.mcu_writer(state, band.samples + x, plane_samples, band.line_width);
  } else {
    for (uint32_t c = 0; c < 3; ++c)
      band.writers[c](state, plan.components[c], band.samples + c * plane_samples + x, band.line_width);
  }
  band.filled = static_cast<uint32_t>(std::min<size_t>(x + plan.mcu_width, band.row_pixels));
  if (mcu_column + 1 == plan.mcu_columns) flush_row_band(state);
}
