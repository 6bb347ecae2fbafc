// The MCU output step: per scan, the plan of how its MCUs reach the
// picture (output scale, transform size and replication per component,
// picture bytes, region); per MCU, dequantisation, the inverse transform
// of the plan's size and the output routine; at the end of the image, the
// progressive output pass and the conversion of multi-scan pictures.
#pragma once
#include "mcu_driver.h"

// Builds state.output for a scan of a picture read and selects the
// current transforms for dct_kind. Returns 0 or a negative status.
JpegStatus prepare_output(DecoderState& state, const ScanInfo& scan, const ScanLayout& layout);

// Fills the component's sample offsets of MCU pixel columns and rows
// (from its block size, blocks and replication), once per scan instead of
// a division per pixel; a sample past the component's blocks repeats its
// last one.
void place_samples(OutputComponent& component);

// McuStep of the sequential loop: reconstructs and writes the MCU in
// state.mcu_blocks. Always 0: an MCU outside the region is not written.
JpegStatus output_mcu(DecoderState& state, const ScanLayout& layout, uint32_t mcu_column, uint32_t mcu_row);

// Run at EOI of a picture read: outputs a progressive image from its
// coefficients, converts a multi-scan picture. Returns 0, JPEG_ROI_SUCCESS
// for a region read, JPEG_INTERRUPT_SUCCESS when the progressive output
// pass was interrupted (`resumed` goes on with it), or a negative status.
JpegStatus finish_image(DecoderState& state, bool resumed = false);
