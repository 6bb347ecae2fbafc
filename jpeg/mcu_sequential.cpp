// MCU loop of sequential DCT scans (ITU-T T.81 E.2.3 decode_scan, A.2
// MCU order): MCU after MCU in raster order, and within an MCU each scan
// component's H x V blocks row by row, each decoded through JpegOps slot 55
// with that component's DC prediction (when the slot holds our own
// decoder, through its MCU form: the MCU's blocks in one call). Edge MCUs
// are decoded whole: the encoder codes the blocks that lie past the image
// edge too (A.2.4).
//
// A component whose output is one sample per block (reads at 1/8) needs
// its DC value only, and so do MCUs outside the region of a multi-scan
// region read: their blocks go through the block skipper (block_skip.h),
// which takes the bits slot 56 would and steps over the AC codes several
// at a time. When every component of the scan is such, a run of MCUs (up
// to the row's end or the restart interval's) goes through it in one call
// and is then output MCU by MCU.
#include <algorithm>

#include "block_skip.h"
#include "entropy_decode.h"
#include "entropy_restart.h"
#include "huffman_shared.h"
#include "mcu_driver.h"

namespace {

// MCUs passed by one call of the skipper when every component is DC-only.
constexpr uint32_t kDcOnlyRun = 32;

// The quantised blocks of MCU (column, row) into the whole-image buffer.
void keep_blocks(DecoderState& state, const ScanLayout& layout, uint32_t column, uint32_t row) {
  const CoefficientBlock* block = state.mcu_blocks;
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    const ScanComponentPlan& plan = layout.components[i];
    for (uint32_t y = 0; y < plan.mcu_high; ++y) {
      for (uint32_t x = 0; x < plan.mcu_wide; ++x, ++block)
        state.coefficients[whole_image_block(plan, row * plan.mcu_high + y, column * plan.mcu_wide + x)] = *block;
    }
  }
}

}  // namespace

JpegStatus decode_sequential_scan(DecoderState& state, ScanInfo& scan,
                                  const ScanLayout& layout, McuStep output) {
  if (state.keep_coefficients &&
      (state.coefficients == nullptr || state.coefficient_blocks < whole_image_blocks(state.frame)))
    return JPEG_ERR_INTERNAL;
  const BlockDecoder decode_block = state.ops.decode_block;
  const HuffmanTable* dc_tables[kMaxScanComponents];
  const HuffmanTable* ac_tables[kMaxScanComponents];
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    dc_tables[i] = &dc_table(state, scan.components[i].dc_table);  // Td
    ac_tables[i] = &ac_table(state, scan.components[i].ac_table);  // Ta
  }

  attach_pair_lookups(state, scan);
  const OutputPlan& plan = state.output;
  const bool in_region_read = output != nullptr && plan.region_active;
  bool dc_only[kMaxScanComponents];
  uint32_t dc_only_components = 0;
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    dc_only[i] = output != nullptr && !state.keep_coefficients && plan.components[i].block_size == 1;
    dc_only_components |= dc_only[i] ? 1u << i : 0;
  }
  const bool all_dc_only = dc_only_components == (1u << layout.component_count) - 1;
  // Every block of an MCU as the skipper takes it, in MCU order.
  SkipBlock skip[kMaxBlocksPerMcu];
  uint32_t skip_count = 0;
  if (dc_only_components != 0 || in_region_read) {
    const SkipTable* skip_tables[kMaxScanComponents];
    const uint32_t needed = in_region_read ? (1u << layout.component_count) - 1 : dc_only_components;
    const JpegStatus status = prepare_skip_tables(state, scan, needed, skip_tables);
    if (status < 0) return status;
    for (uint32_t i = 0; i < layout.component_count; ++i) {
      for (uint32_t b = 0; b < layout.components[i].mcu_wide * layout.components[i].mcu_high; ++b)
        skip[skip_count++] = {dc_tables[i], ac_tables[i], skip_tables[i], &scan.dc_predictions[i],
                              empty_block_code(*dc_tables[i], *ac_tables[i])};
    }
  }
  // The MCU's blocks in runs of neighbouring components that are either
  // all DC-only (through the skipper) or all decoded whole; a run of the
  // latter goes through one call of our block decoder's MCU form when
  // slot 55 holds it, which keeps its bit reader in registers from block
  // to block.
  struct BlockRun {
    uint32_t first_block;
    uint32_t blocks;
    bool dc_only;
  };
  BlockRun runs[kMaxScanComponents];
  uint32_t run_count = 0;
  SequentialBlock sequence[kMaxBlocksPerMcu];
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    const ScanComponentPlan& component = layout.components[i];
    const uint32_t blocks = component.mcu_wide * component.mcu_high;
    for (uint32_t b = 0; b < blocks; ++b)
      sequence[component.first_block + b] = {dc_tables[i], ac_tables[i], &scan.dc_predictions[i]};
    if (run_count > 0 && runs[run_count - 1].dc_only == dc_only[i]) runs[run_count - 1].blocks += blocks;
    else runs[run_count++] = {component.first_block, blocks, dc_only[i]};
  }
  const bool own_decoder = decode_block == decode_block_sequential;
  const bool whole_mcu = own_decoder && run_count == 1 && !runs[0].dc_only;
  int16_t dc_values[kDcOnlyRun * kMaxBlocksPerMcu];
  // The MCU's blocks into state.mcu_blocks. 0 or a negative status.
  const auto decode_mcu_blocks = [&]() -> JpegStatus {
    for (uint32_t r = 0; r < run_count; ++r) {
      const BlockRun& run = runs[r];
      CoefficientBlock* const blocks = state.mcu_blocks + run.first_block;
      JpegStatus status = 0;
      if (run.dc_only) {
        uint32_t passed;
        status = skip_blocks(state.input, skip + run.first_block, run.blocks, 1, dc_values, passed);
        for (uint32_t b = 0; status >= 0 && b < run.blocks; ++b) blocks[b].coef[0] = dc_values[b];
      } else if (own_decoder) {
        status = decode_blocks_sequential(state.input, sequence + run.first_block, run.blocks, blocks);
      } else {
        for (uint32_t b = 0; status >= 0 && b < run.blocks; ++b) {
          const SequentialBlock& block = sequence[run.first_block + b];
          status = decode_block(state.input, *block.dc_table, *block.ac_table, *block.prediction, blocks[b]);
        }
      }
      if (status < 0) return status;
    }
    return 0;
  };
  const uint64_t interval = scan.restart_interval;
  // After the blocks of MCU (column, row): restart handling, then, for an
  // MCU to output, its output and the interrupt check. 0 to go on, else
  // what the loop returns.
  const auto finish_mcu = [&](uint32_t column, uint32_t row, bool to_output) -> JpegStatus {
    JpegStatus status = process_restart(state.input, scan, layout.mcu_columns, layout.mcu_rows, column, row);
    if (status < 0) return status;
    if (!to_output) return 0;
    status = output(state, layout, column, row);
    if (status < 0) return status;
    const bool last = row + 1 == layout.mcu_rows && column + 1 == layout.mcu_columns;
    if (!interrupt_after(state, column, row, last)) return 0;
    scan.mcu_column = column + 1 == layout.mcu_columns ? 0 : column + 1;
    scan.mcu_row = column + 1 == layout.mcu_columns ? row + 1 : row;
    return JPEG_INTERRUPT_SUCCESS;
  };

  uint32_t column = scan.mcu_column;
  for (uint32_t row = scan.mcu_row; row < layout.mcu_rows; ++row, column = 0) {
    if (in_region_read && row >= plan.end_row) {
      scan.mcu_row = 0;
      scan.mcu_column = 0;
      return state.multi_scan ? JPEG_SUCCESS : JPEG_ROI_SUCCESS;
    }
    const bool row_inside = !in_region_read || row >= plan.first_row;
    while (column < layout.mcu_columns) {
      const bool inside = row_inside && (!in_region_read || (column >= plan.first_column && column < plan.end_column));
      // MCUs that go through the skipper whole: outside the region (DC
      // values only), or a run of MCUs whose components are all DC-only.
      uint32_t run = 0;
      if (!inside) {
        run = 1;
      } else if (all_dc_only) {
        run = std::min(kDcOnlyRun, (in_region_read ? plan.end_column : layout.mcu_columns) - column);
        if (interval != 0) {
          const uint64_t done = uint64_t{row} * layout.mcu_columns + column;
          run = static_cast<uint32_t>(std::min<uint64_t>(run, interval - done % interval));
        }
        if (state.interrupt) run = 1;
      }
      if (run != 0) {
        uint32_t passed = 0;
        const JpegStatus skipped = skip_blocks(state.input, skip, skip_count, run, inside ? dc_values : nullptr, passed);
        for (uint32_t m = 0; m < passed; ++m, ++column) {
          if (inside) {
            for (uint32_t b = 0; b < skip_count; ++b) state.mcu_blocks[b].coef[0] = dc_values[m * skip_count + b];
          }
          const JpegStatus status = finish_mcu(column, row, inside);
          if (status != 0) return status;
        }
        if (skipped < 0) return skipped;
        continue;
      }
      const JpegStatus decoded = whole_mcu ? decode_blocks_sequential(state.input, sequence, runs[0].blocks, state.mcu_blocks)
                                           : decode_mcu_blocks();
      if (decoded < 0) return decoded;
      if (state.keep_coefficients) keep_blocks(state, layout, column, row);
      const JpegStatus status = finish_mcu(column, row, output != nullptr);
      if (status != 0) return status;
      ++column;
    }
  }
  scan.mcu_row = 0;
  scan.mcu_column = 0;
  return 0;
}
