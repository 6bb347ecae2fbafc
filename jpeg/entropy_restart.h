// Restart intervals (ITU-T T.81 B.2.4.4 DRI, E.2.4 and F.2.1.3.1): after
// every Ri MCUs of a scan, except after its last MCU, the encoder resets
// its DC predictions and end-of-band run, pads to a byte and writes an RSTm
// marker. The decoder mirrors that here.
#pragma once
#include <cstdint>

#include "jpeg_record.h"

// Called after the MCU at (mcu_column, mcu_row) of a scan with
// `mcus_per_row` x `mcu_rows` MCUs. At a restart point: clears the DC
// predictions, the bit buffer and EOBRUN, and takes the RSTm marker (the
// pending one, or the next one in the input; m is not compared). A
// different marker found there is left pending for the marker loop, so the
// rest of the scan reads as ended data. Returns 0, or JPEG_ERR_BAD_RST when
// the input ends before a marker.
JpegStatus restart_after(JpegInput& in, ScanInfo& scan, uint32_t mcus_per_row, uint32_t mcu_rows,
                         uint32_t mcu_column, uint32_t mcu_row);
// The same, with the test for a scan without restarts inline: the loops
// call it after every MCU.
inline JpegStatus process_restart(JpegInput& in, ScanInfo& scan, uint32_t mcus_per_row, uint32_t mcu_rows,
                                  uint32_t mcu_column, uint32_t mcu_row) {
  return scan.restart_interval == 0 ? 0 : restart_after(in, scan, mcus_per_row, mcu_rows, mcu_column, mcu_row);
}
