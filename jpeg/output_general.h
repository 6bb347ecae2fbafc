// The general output routines: the component writer, which stores each
// component of any sampling layout and output scale into its byte of the
// pixel with replication, then converts colour in place; and the final
// conversion of a picture whose components arrived in separate scans.
#pragma once
#include "jpeg_record.h"

// Writes the current MCU (its samples transformed in state.mcu_blocks) as
// state.output describes it. Returns 0, or JPEG_ERR_INVALID_PROPERTIES
// when the MCU lies outside the picture or region (nothing written).
JpegStatus write_components(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row);

// Completes pixels whose component bytes are stored: the extra channels
// of grey and four-channel pictures, then the colour conversion.
void finish_pixels(const DecoderState& state, uint8_t* first_pixel, ptrdiff_t row_stride, int width, int height);

// Converts the Y, Cb, Cr bytes stored by the scans of a multi-scan image
// into the picture colour, over the region (or the whole picture).
void convert_stored_picture(DecoderState& state);
