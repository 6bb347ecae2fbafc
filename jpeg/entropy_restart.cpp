// Restart marker processing between MCUs (ITU-T T.81 E.2.4, F.2.1.3.1):
// counting MCUs against the restart interval Ri, resetting the decoder and
// finding the RSTm marker (0xFFD0..0xFFD7) that ends the interval.
#include "entropy_restart.h"

#include "marker_parser.h"

namespace {

bool is_restart_marker(int code) { return code >= 0xD0 && code <= 0xD7; }

}  // namespace

JpegStatus restart_after(JpegInput& in, ScanInfo& scan, uint32_t mcus_per_row, uint32_t mcu_rows,
                         uint32_t mcu_column, uint32_t mcu_row) {
  const uint64_t interval = scan.restart_interval;  // Ri
  if (interval == 0) return 0;
  const uint64_t done = static_cast<uint64_t>(mcu_row) * mcus_per_row + mcu_column + 1;
  if (done % interval != 0 || done >= static_cast<uint64_t>(mcus_per_row) * mcu_rows) return 0;

  for (int16_t& prediction : scan.dc_predictions) prediction = 0;
  in.bit_buffer = 0;
  in.bit_count = 0;
  in.eob_run = 0;  // end-of-band runs never cross a restart marker (G.1.2.2)

  if (in.pending_marker != 0) {
    if (is_restart_marker(in.pending_marker)) in.pending_marker = 0;
    return 0;
  }
  const int code = next_marker(in);
  if (code <= 0) return JPEG_ERR_BAD_RST;
  if (!is_restart_marker(code)) in.pending_marker = static_cast<uint8_t>(code);
  return 0;
}
