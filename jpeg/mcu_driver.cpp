// Image read driver: runs the MCU loop that fits the scan (sequential,
// T.81 Annex F; progressive, Annex G) after checking its geometry.
// Reconstruction (mcu_output.h) is the sequential loop's per-MCU step;
// progressive images are output from the whole-image buffer at EOI.
#include "coefficient_buffer.h"
#include "mcu_driver.h"
#include "mcu_output.h"
#include "output_colour_direct.h"

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
    // Zeroed, because a non-interleaved scan never writes the blocks of a
    // plane that lie past its component's own block grid.
    status = state.coefficients_prepared ? 0 : prepare_coefficient_buffer(state);
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
