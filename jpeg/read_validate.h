// Validation of the public fields before a read.
#pragma once
#include "vktjpeg.h"

// Checks the mode and the fields the mode uses. Returns 0, or
// JPEG_ERR_INVALID_PROPERTIES, JPEG_ERR_THUMBNAIL_COLOR (thumbnail modes
// need an RGB or BGR picture) or JPEG_ERR_UNSUPPORTED_SUBSAMPLING.
JpegStatus validate_mode(JpegReadMode mode);
JpegStatus validate_properties(const JPEG_PROPERTIES& p, JpegReadMode mode);
