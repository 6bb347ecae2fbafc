// Scaled colour reads by whole MCU rows (output_band_rows.cpp): without a
// region or an interrupt every MCU of a row has a fixed place in the row
// band, so each is reconstructed straight into it and the band is
// converted when the row's last MCU is in.
#pragma once
#include "jpeg_record.h"

// Whether the scan whose output plan and row band were just prepared can
// go by whole rows (replication of at most 2 either way); if so, selects
// its component writers.
bool select_band_writers(DecoderState& state);

// Output step of such a scan: dequantises, transforms and places the MCU
// in state.mcu_blocks; the row's last MCU converts the band. An MCU below
// the picture is not written.
void output_mcu_to_band(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row);
