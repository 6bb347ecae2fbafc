// The first bytes of a JPEG fuzz input: how the target calls the decoder
// on the JPEG stream that follows them. Shared by the target and by the
// seed writer, so that every seed starts with controls the target reads
// the intended way.
//
//   byte 0  the read after the parameter read (index into kFollowingReads)
//   byte 1  flags (kFlag...)
//   byte 2  output colour: low 3 bits index kPictureColors, next 2 bits
//           picture channels - 1
//   byte 3  picture width - 1; byte 4 picture height - 1 (1..256 pixels:
//           larger or smaller than the frame, so clipping is exercised)
//   byte 5  low 4 bits: pad bytes after each row
//   byte 6  region left (low 4 bits) and top (high 4 bits), in 8 pixels
//   byte 7  region width - 1 (low 4 bits) and height - 1, in 8 pixels
#pragma once
#include <cstddef>
#include <cstdint>

#include "vktjpeg.h"

namespace jpeg_fuzz {

constexpr size_t kControlBytes = 8;

constexpr JpegReadMode kFollowingReads[] = {
    READ_IMAGE_BUFFER,  READ_HALF_BUFFER,  READ_QUARTER_BUFFER,   READ_EIGHTH_BUFFER, READ_ENTROPY_BUFFER,
    READ_THUMBNAIL_BUFFER, READ_IMAGE_FILE, READ_HALF_FILE,       READ_QUARTER_FILE,  READ_EIGHTH_FILE,
    READ_ENTROPY_FILE,  READ_THUMBNAIL_FILE, READ_PARAMS_FILE,    READ_HEADER_BUFFER,
};
constexpr size_t kFollowingReadCount = sizeof kFollowingReads / sizeof kFollowingReads[0];

constexpr JpegColor kPictureColors[] = {COLOR_BGR, COLOR_RGB, COLOR_YCBCR, COLOR_GRAY,
                                        COLOR_FOUR, COLOR_YCBCR_FOUR, COLOR_OTHER, COLOR_BGR};

enum : uint8_t {
  kFlagBottomUp = 1 << 0,       // negative picture_height
  kFlagFastDct = 1 << 1,        // dct_kind 0
  kFlagTriangle = 1 << 2,       // upsampling_kind 1
  kFlagInterrupt = 1 << 3,      // interrupt set
  kFlagInnerFields = 1 << 4,    // use_inner_fields for the following read
  kFlagRegion = 1 << 5,         // a region of interest
  kFlagSubsampled = 1 << 6,     // picture_subsampling 2
  kFlagNoComment = 1 << 7,      // no comment buffer
};

struct Controls {
  uint8_t bytes[kControlBytes] = {0, 0, 0, 63, 47, 0, 0, 0xFF};
};

// Controls for a plain whole-picture read of the following `read` into a
// BGR picture of the frame's size (clamped to the 256-pixel range).
inline Controls PlainControls(size_t read, uint32_t width, uint32_t height) {
  Controls c;
  c.bytes[0] = static_cast<uint8_t>(read);
  c.bytes[3] = static_cast<uint8_t>((width ? (width > 256 ? 256 : width) : 1) - 1);
  c.bytes[4] = static_cast<uint8_t>((height ? (height > 256 ? 256 : height) : 1) - 1);
  return c;
}

}  // namespace jpeg_fuzz
