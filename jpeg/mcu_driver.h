// The MCU loops' entry points: the image read driver that the SOS reader
// hands each scan of a picture read to, and the two scan loops it runs.
//
// Entropy side: a sequential scan is decoded MCU by MCU into the MCU sample
// buffer (DecoderState::mcu_blocks) and each MCU is handed to an output
// step; a progressive scan (T.81 G.1) updates the whole-image coefficient
// buffer (DecoderState::coefficients), in which the image is complete only
// after its last scan. Both loops honour restart intervals and start at the
// scan's saved MCU position.
#pragma once
#include <cstdint>

#include "jpeg_record.h"
#include "mcu_layout.h"

// Per-MCU step after entropy decoding: receives the MCU's quantised blocks
// in state.mcu_blocks, in the scan's MCU order (ScanLayout).
using McuStep = JpegStatus (*)(DecoderState& state, const ScanLayout& layout,
                               uint32_t mcu_column, uint32_t mcu_row);

// Decodes one scan of a picture read, from the scan's saved MCU position.
// Returns 0, JPEG_INTERRUPT_SUCCESS (state.interrupt: one MCU done, the
// position saved), JPEG_ROI_SUCCESS (a single-scan region read is done)
// or a negative status.
JpegStatus decode_image(DecoderState& state, ScanInfo& scan);

// Sequential region loop of a single-scan image (mcu_region.cpp), with
// the resume table and restart-interval jumps.
JpegStatus decode_sequential_region(DecoderState& state, ScanInfo& scan, const ScanLayout& layout);

// After an MCU of a sequential or output loop: with state.interrupt set
// and MCU (column, row) not the last of the loop, notes it and returns
// true; the caller saves where it goes on and returns
// JPEG_INTERRUPT_SUCCESS. Inline: the loops call it after every MCU.
inline bool interrupt_after(DecoderState& state, uint32_t column, uint32_t row, bool last) {
  if (!state.interrupt || last) return false;
  state.interrupt_column = column;
  state.interrupt_row = row;
  return true;
}

// Sequential (baseline or extended) scan; `output` may be null. When
// state.keep_coefficients is set, every block is also stored in the
// whole-image coefficient buffer, which must be allocated.
JpegStatus decode_sequential_scan(DecoderState& state, ScanInfo& scan,
                                  const ScanLayout& layout, McuStep output);

// Progressive scan into the whole-image coefficient buffer. Scans outside
// T.81 G.1.1.1.1 (a DC scan with Se != 0, an interleaved AC scan, Ss > Se,
// Se > 63, Ah or Al > 13) give JPEG_ERR_DATA.
JpegStatus decode_progressive_scan(DecoderState& state, ScanInfo& scan,
                                   const ScanLayout& layout);
