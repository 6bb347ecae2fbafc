// Output path selection: decides, from the frame and the requested
// picture, whether colour conversion and upsampling are needed and which
// routine writes each decoded MCU into the picture (JpegOps slot 34).
#pragma once
#include "jpeg_record.h"

// Run after the frame header, after each scan header and after an Adobe
// marker that follows the frame. Returns 0, JPEG_ERR_INVALID_PROPERTIES for
// a YCbCr picture that the frame cannot give, or JPEG_ERR_COMPONENTS.
JpegStatus select_output_path(DecoderState& state);
