// MCU loop of sequential DCT scans (ITU-T T.81 E.2.3 decode_scan, A.2
// MCU order): MCU after MCU in raster order, and within an MCU each scan
// component's H x V blocks row by row, each decoded through JpegOps slot 55
// with that component's DC prediction. Edge MCUs are decoded whole: the
// encoder codes the blocks that lie past the image edge too (A.2.4).
// A component whose output is one sample per block (reads at 1/8) needs
// its DC value only: its blocks go through slot 56, which skips the AC
// coefficients without storing them.
#include "entropy_restart.h"
#include "mcu_driver.h"

namespace {

// An MCU outside the region: DC values only, then restart handling.
JpegStatus skip_mcu(DecoderState& state, ScanInfo& scan, const ScanLayout& layout,
                    const HuffmanTable* const* dc_tables, const HuffmanTable* const* ac_tables,
                    uint32_t column, uint32_t row) {
  const DcOnlyDecoder decode_dc = state.ops.decode_dc_only;
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    const ScanComponentPlan& plan = layout.components[i];
    for (uint32_t b = 0; b < plan.mcu_wide * plan.mcu_high; ++b) {
      int16_t dc_value = 0;
      const JpegStatus status = decode_dc(state.input, *dc_tables[i], *ac_tables[i],
                                          scan.dc_predictions[i], dc_value);
      if (status < 0) return status;
    }
  }
  return process_restart(state.input, scan, layout.mcu_columns, layout.mcu_rows, column, row);
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
    dc_tables[i] = &state.dc_tables[scan.components[i].dc_table];  // Td
    ac_tables[i] = &state.ac_tables[scan.components[i].ac_table];  // Ta
  }

  const OutputPlan& plan = state.output;
  const bool in_region_read = output != nullptr && plan.region_active;
  const DcOnlyDecoder decode_dc = state.ops.decode_dc_only;
  bool dc_only[kMaxScanComponents];
  for (uint32_t i = 0; i < layout.component_count; ++i) {
    dc_only[i] = output != nullptr && !state.keep_coefficients && plan.components[i].block_size == 1;
  }
  uint32_t column = scan.mcu_column;
  for (uint32_t row = scan.mcu_row; row < layout.mcu_rows; ++row, column = 0) {
    if (in_region_read && row >= plan.end_row) {
      scan.mcu_row = 0;
      scan.mcu_column = 0;
      return state.multi_scan ? JPEG_SUCCESS : JPEG_ROI_SUCCESS;
    }
    const bool row_inside = !in_region_read || row >= plan.first_row;
    for (; column < layout.mcu_columns; ++column) {
      if (!row_inside || (in_region_read && (column < plan.first_column || column >= plan.end_column))) {
        const JpegStatus status = skip_mcu(state, scan, layout, dc_tables, ac_tables, column, row);
        if (status < 0) return status;
        continue;
      }
      CoefficientBlock* block = state.mcu_blocks;
      for (uint32_t i = 0; i < layout.component_count; ++i) {
        const ScanComponentPlan& plan = layout.components[i];
        for (uint32_t y = 0; y < plan.mcu_high; ++y) {
          for (uint32_t x = 0; x < plan.mcu_wide; ++x, ++block) {
            const JpegStatus status =
                dc_only[i] ? decode_dc(state.input, *dc_tables[i], *ac_tables[i], scan.dc_predictions[i], block->coef[0])
                           : decode_block(state.input, *dc_tables[i], *ac_tables[i], scan.dc_predictions[i], *block);
            if (status < 0) return status;
            if (state.keep_coefficients) {
              const size_t index =
                  whole_image_block(plan, row * plan.mcu_high + y, column * plan.mcu_wide + x);
              state.coefficients[index] = *block;
            }
          }
        }
      }
      JpegStatus status = process_restart(state.input, scan, layout.mcu_columns,
                                          layout.mcu_rows, column, row);
      if (status < 0) return status;
      if (output != nullptr) {
        status = output(state, layout, column, row);
        if (status < 0) return status;
        const bool last = row + 1 == layout.mcu_rows && column + 1 == layout.mcu_columns;
        if (interrupt_after(state, column, row, last)) {
          scan.mcu_column = column + 1 == layout.mcu_columns ? 0 : column + 1;
          scan.mcu_row = column + 1 == layout.mcu_columns ? row + 1 : row;
          return JPEG_INTERRUPT_SUCCESS;
        }
      }
    }
  }
  scan.mcu_row = 0;
  scan.mcu_column = 0;
  return 0;
}
