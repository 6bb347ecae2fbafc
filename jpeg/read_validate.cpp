// Validation of the public fields before a read: the mode, the picture
// fields of picture modes, the input of the mode, the channel count and
// the colour combinations the output stages can produce.
#include "read_validate.h"

#include "jpeg_record.h"

namespace {

constexpr uint32_t kMaxPictureSide = 65535;

struct ColorPair {
  JpegColor color;
  uint32_t channels;
};

bool contains(std::initializer_list<ColorPair> pairs, JpegColor color, uint32_t channels) {
  for (const ColorPair& pair : pairs) {
    if (pair.color == color && pair.channels == channels) return true;
  }
  return false;
}

// At least one row of the compatibility table must hold.
bool colours_compatible(const JPEG_PROPERTIES& p) {
  const JpegColor pc = p.picture_color, jc = p.jpeg_color;
  const uint32_t pn = p.picture_channels, jn = p.jpeg_channels;
  if (jc == COLOR_GRAY && jn == 1 &&
      contains({{COLOR_GRAY, 1}, {COLOR_RGB, 3}, {COLOR_BGR, 3}, {COLOR_FOUR, 4}}, pc, pn)) {
    return true;
  }
  if (jc == COLOR_RGB && jn == 3 && contains({{COLOR_RGB, 3}, {COLOR_BGR, 3}, {COLOR_FOUR, 4}}, pc, pn)) return true;
  if (jc == COLOR_YCBCR && jn == 3 &&
      (pc == COLOR_YCBCR || contains({{COLOR_GRAY, 1}, {COLOR_RGB, 3}, {COLOR_BGR, 3}, {COLOR_FOUR, 4}}, pc, pn))) {
    return true;
  }
  if ((jc == COLOR_FOUR || jc == COLOR_YCBCR_FOUR) && jn == 4 && pc == COLOR_FOUR && pn == 4) return true;
  return jc == COLOR_OTHER && pc == COLOR_OTHER;
}

JpegStatus validate_picture(const JPEG_PROPERTIES& p, JpegReadMode mode) {
  if (!p.picture_bytes) return JPEG_ERR_INVALID_PROPERTIES;
  if (p.picture_width < 1 || p.picture_width > kMaxPictureSide) return JPEG_ERR_INVALID_PROPERTIES;
  if (p.picture_height < -static_cast<int32_t>(kMaxPictureSide) ||
      p.picture_height > static_cast<int32_t>(kMaxPictureSide)) {
    return JPEG_ERR_INVALID_PROPERTIES;
  }
  if (is_thumbnail_mode(mode) && p.picture_color != COLOR_RGB && p.picture_color != COLOR_BGR) {
    return JPEG_ERR_THUMBNAIL_COLOR;
  }
  if (p.picture_channels < 1 || p.picture_channels > 255) return JPEG_ERR_INVALID_PROPERTIES;
  // The row stride is a signed 32-bit value; refuse pad bytes that overflow it.
  const uint64_t stride = uint64_t{p.picture_width} * p.picture_channels + p.picture_pad_bytes;
  if (stride > INT32_MAX) return JPEG_ERR_INVALID_PROPERTIES;
  if (p.picture_subsampling != 0 && !(p.picture_subsampling == 2 && p.picture_color == COLOR_YCBCR)) {
    return JPEG_ERR_UNSUPPORTED_SUBSAMPLING;
  }
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus validate_mode(JpegReadMode mode) {
  // Writing modes 8..13 belong to an encoder this library does not have.
  const bool known = (mode >= READ_PARAMS_FILE && mode <= READ_ENTROPY_BUFFER) ||
                     (mode >= READ_HALF_FILE && mode <= READ_THUMBNAIL_BUFFER);
  return known ? JPEG_SUCCESS : JPEG_ERR_INVALID_PROPERTIES;
}

JpegStatus validate_properties(const JPEG_PROPERTIES& p, JpegReadMode mode) {
  if (is_picture_mode(mode)) {
    const JpegStatus status = validate_picture(p, mode);
    if (status < 0) return status;
  }
  if (is_file_mode(mode) ? !p.jpeg_file_name : (!p.jpeg_bytes || p.jpeg_size_bytes == 0)) {
    return JPEG_ERR_INVALID_PROPERTIES;
  }
  if (p.jpeg_channels < 1 || p.jpeg_channels > 256) return JPEG_ERR_INVALID_PROPERTIES;
  if (!colours_compatible(p)) return JPEG_ERR_INVALID_PROPERTIES;
  if (p.dct_kind > 1) return JPEG_ERR_INVALID_PROPERTIES;
  return JPEG_SUCCESS;
}
