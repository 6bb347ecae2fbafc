// Image read driver: runs the MCU loop that fits the scan (sequential,
// T.81 Annex F; progressive, Annex G) after checking its geometry.
// Reconstruction (mcu_output.h) is the sequential loop's per-MCU step;
// progressive images are output from the whole-image buffer at EOI.
#include <cstdlib>

#include "mcu_driver.h"
#include "mcu_output.h"
#include "output_colour_direct.h"

namespace {

// Whole-image buffer for keeping sequential coefficients. Zeroed, because
// a non-interleaved scan never writes the blocks of a plane that lie past
// its component's own block grid.
JpegStatus allocate_kept_coefficients(DecoderState& state) {
  const size_t blocks = whole_image_blocks(state.frame);
  if (state.coefficients != nullptr && state.coefficient_blocks >= blocks) return 0;
  if (blocks * sizeof(CoefficientBlock) > kMaxCoefficientBytes) return JPEG_ERR_MEMORY;
  std::free(state.coefficients);
  state.coefficients = static_cast<CoefficientBlock*>(std::calloc(blocks, sizeof(CoefficientBlock)));
  state.coefficient_blocks = state.coefficients != nullptr ? blocks : 0;
  return state.coefficients != nullptr ? 0 : JPEG_ERR_MEMORY;
}

}  // namespace

bool interrupt_after(DecoderState& state, uint32_t column, uint32_t row, bool last) {
  if (!state.interrupt || last) return false;
  state.interrupt_column = column;
  state.interrupt_row = row;
  return true;
}

JpegStatus decode_image(DecoderState& state, ScanInfo& scan) {
  ScanLayout layout;
  JpegStatus status = plan_scan(state.frame, scan, layout);
  if (status < 0) return status;
  const bool resumed = scan.mcu_row != 0 || scan.mcu_column != 0;
  if (!resumed) {
    // Each scan's entropy-coded data starts on a byte boundary (T.81 B.2.1):
    // bits left over from the previous scan's last byte are padding.
    state.input.bit_buffer = 0;
    state.input.bit_count = 0;
  }
  if (state.progressive_scans > 0) return decode_progressive_scan(state, scan, layout);
  if (state.keep_coefficients) {
    status = allocate_kept_coefficients(state);
    if (status < 0) return status;
  }
  if (!resumed) {
    // An interrupted scan goes on with the plan (and filter rows) it had.
    status = prepare_output(state, scan, layout);
    if (status < 0) return status;
  }
  status = state.output.region_active && !state.multi_scan && !state.keep_coefficients
               ? decode_sequential_region(state, scan, layout)
               : decode_sequential_scan(state, scan, layout, output_mcu);
  flush_row_band(state);
  return status;
}
