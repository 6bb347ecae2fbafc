// MCU output step and output plan. Scaled reads (modes 14..19) use the
// 4x4, 2x2 and 1x1 transforms (the last with only its DC dequantised);
// when every component is 1x1 or 2x2, a component of one block per MCU
// (chroma of a 2x2 frame) takes the next larger transform instead, so that
// it comes out at luma size without replication. Progressive images are output once, from the finished
// coefficients, when EOI arrives.
#include "mcu_output.h"

#include <algorithm>
#include <cstring>

#include "idct.h"
#include "output_band_rows.h"
#include "output_convert.h"
#include "output_colour_direct.h"
#include "output_general.h"
#include "upsample_filter.h"

namespace {

uint32_t scale_of(JpegReadMode mode) {
  switch (mode) {
    case READ_HALF_FILE:
    case READ_HALF_BUFFER: return 2;
    case READ_QUARTER_FILE:
    case READ_QUARTER_BUFFER: return 4;
    case READ_EIGHTH_FILE:
    case READ_EIGHTH_BUFFER: return 8;
    default: return 1;
  }
}

BlockTransform transform_of(const JpegOps& ops, uint32_t size) {
  switch (size) {
    case 8: return ops.current_idct_8x8;
    case 4: return ops.current_idct_4x4;
    case 2: return ops.current_idct_2x2;
    default: return ops.current_idct_1x1;
  }
}

// The kind's fused dequantiser and transform of `size`, when the read uses
// the very members it fuses; null otherwise.
Dequantiser fused_transform(const DecoderState& state, uint32_t size, BlockTransform transform) {
  const SideMembers& side = state.side_members;
  const SideMembers::FusedTransform* fused =
      size == 8 ? (transform == side.fast_8x8.transform ? &side.fast_8x8 : &side.precise_8x8)
                : (size == 4 ? &side.precise_4x4 : (size == 2 ? &side.precise_2x2 : nullptr));
  if (fused == nullptr || fused->transform != transform || fused->dequantise != state.ops.current_dequantise)
    return nullptr;
  return fused->both;
}

// The member that takes the triangle filter's blocks into its context as
// bytes, when every component takes the transform it fuses and slot 35
// holds the store it matches; null otherwise.
BlockToBytes filter_bytes_transform(const DecoderState& state) {
  const SideMembers::TransformToBytes& member = state.side_members.precise_8x8_bytes;
  if (member.both == nullptr || member.store != state.ops.output_converters[35 - kOutputConverterFirstSlot])
    return nullptr;
  for (uint32_t i = 0; i < state.output.component_count; ++i) {
    if (state.output.components[i].dequantised_transform != state.side_members.precise_8x8.both) return nullptr;
  }
  return member.both;
}

// Block b of the MCU in the filter's context, all of it `sample` (0..255):
// one 8-byte store a line, the stride read once (the stores may alias it).
void fill_context_block(const UpsampleFilter& filter, uint8_t* band, ptrdiff_t b, uint32_t mcu_column, int16_t sample) {
  uint8_t* const first = filter_block_first(filter, band, static_cast<uint32_t>(b), mcu_column);
  const size_t stride = filter.places[b].stride;
  const uint64_t line = uint64_t{0x0101010101010101} * static_cast<uint8_t>(sample);
#pragma GCC unroll 8
  for (uint32_t row = 0; row < 8; ++row) std::memcpy(first + row * stride, &line, sizeof line);
}

bool chroma_at_luma_size(const FrameInfo& frame) {
  if (frame.h_max == 1 && frame.v_max == 1) return false;
  for (uint32_t i = 0; i < frame.component_count; ++i) {
    const FrameComponent& c = frame.components[i];
    if (c.h != c.v || c.h > 2) return false;
  }
  return true;
}

int64_t ceil_div(int64_t a, int64_t b) { return (a + b - 1) / b; }

// A region is in force when it cuts the image; it is clamped to the image
// and converted to MCUs of the scan.
void plan_region(DecoderState& state, OutputPlan& plan, const ScanLayout& layout) {
  JpegRegion& region = state.region;
  const int64_t width = state.fields.jpeg_width, height = state.fields.jpeg_height;
  plan.region_active = (region.right != 0 && region.right < width) || (region.bottom != 0 && region.bottom < height) ||
                       region.top > 0 || region.left > 0;
  if (!plan.region_active) return;
  region.right = static_cast<int32_t>(std::min<int64_t>(region.right, width));
  region.bottom = static_cast<int32_t>(std::min<int64_t>(region.bottom, height));
  region.left = std::max(region.left, 0);
  region.top = std::max(region.top, 0);
  const auto clamp_to = [](int64_t value, uint32_t limit) {
    return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, limit));
  };
  plan.first_column = clamp_to(region.left / plan.mcu_width, layout.mcu_columns);
  plan.end_column = clamp_to(ceil_div(region.right, plan.mcu_width), layout.mcu_columns);
  plan.first_row = clamp_to(region.top / plan.mcu_height, layout.mcu_rows);
  plan.end_row = clamp_to(ceil_div(region.bottom, plan.mcu_height), layout.mcu_rows);
}

// Output pass of a progressive image: each MCU gathered from the
// whole-image coefficient buffer, which stays untouched. An interrupted
// pass goes on at state.output_row/output_column with the plan it had.
JpegStatus output_progressive_image(DecoderState& state, bool resumed) {
  const FrameInfo& frame = state.frame;
  if (state.coefficients == nullptr || state.coefficient_blocks < whole_image_blocks(frame)) return JPEG_ERR_INTERNAL;
  ScanInfo all{};
  all.component_count = frame.component_count;
  for (uint32_t i = 0; i < frame.component_count; ++i) {
    if (frame.components[i].tq < 0 || frame.components[i].tq > 3) return JPEG_ERR_DATA;
    all.components[i].frame_index = i;
    all.components[i].quant_table = static_cast<uint32_t>(frame.components[i].tq);
  }
  ScanLayout layout;
  JpegStatus status = plan_scan(frame, all, layout);
  if (status < 0) return status;
  const OutputPlan& plan = state.output;
  if (!resumed) {
    status = prepare_output(state, all, layout);
    if (status < 0) return status;
    state.output_row = plan.region_active ? plan.first_row : 0;
    state.output_column = plan.region_active ? plan.first_column : 0;
  }
  const uint32_t end_row = plan.region_active ? plan.end_row : layout.mcu_rows;
  const uint32_t first_column = plan.region_active ? plan.first_column : 0;
  const uint32_t end_column = plan.region_active ? plan.end_column : layout.mcu_columns;
  uint32_t column = state.output_column;
  for (uint32_t row = state.output_row; row < end_row; ++row, column = first_column) {
    for (; column < end_column; ++column) {
      for (uint32_t i = 0; i < layout.component_count; ++i) {
        const ScanComponentPlan& component = layout.components[i];
        CoefficientBlock* block = state.mcu_blocks + component.first_block;
        for (uint32_t y = 0; y < component.mcu_high; ++y) {
          const CoefficientBlock* source = state.coefficients +
              whole_image_block(component, row * component.mcu_high + y, column * component.mcu_wide);
          for (uint32_t x = 0; x < component.mcu_wide; ++x) *block++ = source[x];
        }
      }
      output_mcu(state, layout, column, row);
      if (interrupt_after(state, column, row, row + 1 == end_row && column + 1 == end_column)) {
        state.output_column = column + 1 == end_column ? first_column : column + 1;
        state.output_row = column + 1 == end_column ? row + 1 : row;
        return JPEG_INTERRUPT_SUCCESS;
      }
    }
  }
  return JPEG_SUCCESS;
}

}  // namespace

void place_samples(OutputComponent& component) {
  const uint32_t size = component.block_size;
  const uint32_t samples_wide = component.blocks_wide * size, samples_high = component.blocks_high * size;
  for (uint32_t x = 0; x < kMaxOutputMcuSide; ++x) {
    const uint32_t sx = std::min(x / component.ratio_h, samples_wide - 1);
    component.column_offset[x] = static_cast<uint8_t>((sx / size) * 64 + sx % size);
  }
  for (uint32_t y = 0; y < kMaxOutputMcuSide; ++y) {
    const uint32_t sy = std::min(y / component.ratio_v, samples_high - 1);
    component.row_offset[y] = static_cast<uint16_t>((sy / size) * component.blocks_wide * 64 + (sy % size) * 8);
  }
}

JpegStatus prepare_output(DecoderState& state, const ScanInfo& scan, const ScanLayout& layout) {
  const FrameInfo& frame = state.frame;
  const ReadFields& fields = state.fields;
  OutputPlan& plan = state.output;
  plan = OutputPlan{};
  select_current_transforms(state.ops, state.dct_kind);
  plan.scale = scale_of(state.mode);
  const uint32_t size = 8 / plan.scale;
  const bool larger_chroma = plan.scale > 1 && chroma_at_luma_size(frame);
  const bool reversed = fields.picture_color == COLOR_BGR && fields.jpeg_color == COLOR_RGB;
  plan.component_count = layout.component_count;
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    const ScanComponentPlan& source = layout.components[i];
    const FrameComponent& fc = frame.components[source.frame_index];
    const uint32_t h = static_cast<uint32_t>(fc.h), v = static_cast<uint32_t>(fc.v);
    if (h == 0 || v == 0 || frame.h_max % h != 0 || frame.v_max % v != 0) return JPEG_ERR_UNSUPPORTED_SUBSAMPLING;
    OutputComponent& out = plan.components[i];
    out.first_block = source.first_block;
    out.blocks_wide = source.mcu_wide;
    out.blocks_high = source.mcu_high;
    out.quant_table = scan.components[i].quant_table;
    if (out.quant_table >= kQuantTableCount) return JPEG_ERR_DATA;
    out.block_size = larger_chroma && h * v == 1 ? std::min(8u, 2 * size) : size;
    out.transform = transform_of(state.ops, out.block_size);
    out.dequantised_transform = fused_transform(state, out.block_size, out.transform);
    out.ratio_h = frame.h_max * size / (h * out.block_size);
    out.ratio_v = frame.v_max * size / (v * out.block_size);
    // Each component goes to the byte of its place in the frame, also when
    // the scans of a multi-scan image come in another order.
    out.picture_byte = source.frame_index;
    if (reversed && out.picture_byte <= 2) out.picture_byte = 2 - out.picture_byte;
  }
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    const OutputComponent& component = plan.components[i];
    const uint32_t blocks = component.blocks_wide * component.blocks_high;
    if (component.first_block != plan.block_count || plan.block_count + blocks > kMaxBlocksPerMcu)
      return JPEG_ERR_INTERNAL;
    for (uint32_t b = 0; b < blocks; ++b, ++plan.block_count) {
      plan.block_component[plan.block_count] = static_cast<uint8_t>(i);
      plan.block_table[plan.block_count] = state.quant[component.quant_table].prepared;
    }
  }
  const OutputComponent& first = plan.components[0];
  plan.mcu_width = first.blocks_wide * first.block_size * first.ratio_h;
  plan.mcu_height = first.blocks_high * first.block_size * first.ratio_v;
  for (uint32_t i = 0; i < layout.component_count; ++i) place_samples(plan.components[i]);
  const bool routine_scales = writes_scaled_reads(state.ops.mcu_output);
  plan.use_fast_routine = (plan.scale == 1 || routine_scales) && !state.multi_scan && state.ops.mcu_output != write_components &&
                          state.ops.mcu_output != nullptr && layout.component_count == frame.component_count;
  plan.paired_transform = state.side_members.fast_8x8_pair;
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    if (plan.components[i].dequantised_transform != state.side_members.fast_8x8.both) plan.paired_transform = nullptr;
  }
  plan_region(state, plan, layout);
  if (filter_applies(state, layout.component_count)) {
    const JpegStatus status = prepare_filter(state, layout.mcu_columns, layout.mcu_rows);
    if (status < 0) return status;
    plan.bytes_transform = filter_bytes_transform(state);
  }
  plan.mcu_columns = layout.mcu_columns;
  plan.mcu_rows = layout.mcu_rows;
  prepare_row_band(state);
  return JPEG_SUCCESS;
}

JpegStatus output_mcu(DecoderState& state, const ScanLayout& /*layout*/, uint32_t mcu_column, uint32_t mcu_row) {
  if (state.band.whole_rows) {
    output_mcu_to_band(state, mcu_column, mcu_row);
    return JPEG_SUCCESS;
  }
  const OutputPlan& plan = state.output;
  const Dequantiser dequantise = state.ops.current_dequantise;
  const bool precise = dequantise == state.ops.dequantise_precise;
  const BlockTransform idct_1x1 = state.ops.current_idct_1x1;
  // With a paired member, a block that needs the whole transform waits for
  // the next one, of this component or the next.
  CoefficientBlock* waiting = nullptr;
  const int16_t* waiting_table = nullptr;
  // With a member that transforms into bytes, each block goes straight to
  // the triangle filter's context.
  const bool into_context = plan.bytes_transform != nullptr && mcu_column < plan.mcu_columns;
  uint8_t* const band = into_context ? filter_band(state.filter, mcu_row) : nullptr;
  for (uint32_t b = 0; b < plan.block_count; ++b) {
    const OutputComponent& component = plan.components[plan.block_component[b]];
    const int16_t* const table = plan.block_table[b];
    CoefficientBlock* const block = state.mcu_blocks + b;
    if (component.block_size == 1 || has_only_dc(*block)) {
      int16_t& dc = block->coef[0];
      const int16_t value = precise ? dequantised_precise(dc, table[0]) : dequantised_fast(dc, table[0]);
      if (component.block_size == 1 || (value > -kDcAloneLimit && value < kDcAloneLimit)) {
        dc = value;
        idct_1x1(block);
        if (into_context) {
          fill_context_block(state.filter, band, b, mcu_column, dc);
        } else if (component.block_size > 1) {
          fill_samples(block, component.block_size, dc);
        }
        continue;
      }
    }
    if (into_context) {
      plan.bytes_transform(block, table, filter_block_first(state.filter, band, b, mcu_column),
                           state.filter.places[b].stride);
    } else if (plan.paired_transform != nullptr && waiting == nullptr) {
      waiting = block;
      waiting_table = table;
    } else if (plan.paired_transform != nullptr) {
      plan.paired_transform(waiting, waiting_table, block, table);
      waiting = nullptr;
    } else if (component.dequantised_transform != nullptr) {
      component.dequantised_transform(block, table);
    } else {
      dequantise(block, table);
      component.transform(block);
    }
  }
  if (waiting != nullptr) state.side_members.fast_8x8.both(waiting, waiting_table);
  if (plan.use_filter) {
    filter_mcu(state, mcu_column, mcu_row, plan.mcu_columns, plan.mcu_rows, into_context);
  } else if (plan.use_fast_routine) {
    state.ops.mcu_output(state, mcu_column, mcu_row);
  } else {
    write_components(state, mcu_column, mcu_row);
  }
  return JPEG_SUCCESS;
}

JpegStatus finish_image(DecoderState& state, bool resumed) {
  if (state.progressive_scans > 0) {
    const JpegStatus status = output_progressive_image(state, resumed);
    flush_row_band(state);
    if (status != JPEG_SUCCESS) return status;
  } else if (state.multi_scan) {
    convert_stored_picture(state);
  }
  return state.output.region_active ? JPEG_ROI_SUCCESS : JPEG_SUCCESS;
}
