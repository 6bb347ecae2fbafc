// Application and comment segments: APP0 (JFIF values and JFIF/JFXX
// thumbnails, copied into the picture by the thumbnail modes), APP14
// (Adobe values, which decide the colour space), COM (the comment, copied
// into the caller's buffer).
//
// Values are taken only before the frame header, so that a following read
// of the same stream takes them afresh. A thumbnail is copied only into a
// picture large enough to hold it.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "byte_cursor.h"
#include "marker_parser.h"
#include "output_path.h"

namespace {

constexpr uint32_t kMinJfifBody = 14;
constexpr uint32_t kMinAdobeBody = 12;
constexpr uint32_t kJfifThumbnailOffset = 14;
constexpr uint32_t kJfxxThumbnailOffset = 8;
constexpr uint32_t kPaletteBytes = 768;
constexpr uint8_t kJfxxRgbThumbnail = 0x13;
constexpr uint8_t kJfxxPaletteThumbnail = 0x11;

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

bool starts_with(const SegmentBody& body, const char* tag, uint32_t tag_bytes) {
  return body.size() >= tag_bytes && std::memcmp(body.data(), tag, tag_bytes) == 0;
}

// Writes a w x h thumbnail whose pixel (x, y) has the RGB triple
// rgb_of(x, y), in the picture's byte order.
template <typename RgbOf>
JpegStatus write_thumbnail(DecoderState& state, uint32_t w, uint32_t h, RgbOf rgb_of) {
  const ReadFields& f = state.fields;
  const uint32_t picture_rows = static_cast<uint32_t>(std::abs(static_cast<int64_t>(f.picture_height)));
  if (f.picture_width < w || picture_rows < h || f.picture_channels < 3) return JPEG_ERR_OUTPUT_TOO_SMALL;
  const bool swap_red_blue = f.picture_color != COLOR_RGB;
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* row = f.picture_bytes + static_cast<int64_t>(y) * f.row_stride;
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* rgb = rgb_of(x, y);
      uint8_t* pixel = row + static_cast<size_t>(x) * f.picture_channels;
      pixel[0] = swap_red_blue ? rgb[2] : rgb[0];
      pixel[1] = rgb[1];
      pixel[2] = swap_red_blue ? rgb[0] : rgb[2];
    }
  }
  return JPEG_SUCCESS;
}

JpegStatus take_rgb_thumbnail(DecoderState& state, const SegmentBody& body, uint32_t w, uint32_t h,
                              uint32_t data_offset) {
  if (w == 0 || h == 0) return JPEG_SUCCESS;
  state.fields.thumbnail_width = w;
  state.fields.thumbnail_height = h;
  if (!is_thumbnail_mode(state.mode) || body.size() - data_offset < w * h * 3) return JPEG_SUCCESS;
  const uint8_t* data = body.data() + data_offset;
  return write_thumbnail(state, w, h, [&](uint32_t x, uint32_t y) { return data + (y * w + x) * 3; });
}

JpegStatus take_palette_thumbnail(DecoderState& state, const SegmentBody& body, uint32_t w, uint32_t h) {
  if (!is_thumbnail_mode(state.mode) || body.size() < w * h + kJfxxThumbnailOffset + kPaletteBytes) {
    return JPEG_SUCCESS;
  }
  state.fields.thumbnail_width = w;
  state.fields.thumbnail_height = h;
  const uint8_t* palette = body.data() + kJfxxThumbnailOffset;
  const uint8_t* indices = palette + kPaletteBytes;
  return write_thumbnail(state, w, h, [&](uint32_t x, uint32_t y) { return palette + indices[y * w + x] * 3; });
}

void take_jfif_values(DecoderState& state, const uint8_t* data) {
  MarkerValues& markers = state.markers;
  markers.jfif_seen = 1;
  markers.jfif_version = be16(data + 5);
  markers.density_unit = data[7];
  markers.x_density = be16(data + 8);
  markers.y_density = be16(data + 10);
}

}  // namespace

JpegStatus read_app0(DecoderState& state) {
  JpegInput& in = state.input;
  uint32_t length = 0;
  if (input_read_u16(in, length) < 0 || length < 2) return JPEG_SUCCESS;
  const uint32_t body_size = length - 2;
  if (body_size < kMinJfifBody || !state.frame_pending) return input_skip(in, body_size);
  SegmentBody body;
  const JpegStatus status = input_segment_body(in, body_size, body);
  if (status < 0) return status == JPEG_ERR_MEMORY ? status : JPEG_ERR_DATA;
  const uint8_t* data = body.data();
  if (starts_with(body, "JFIF", 5)) {
    take_jfif_values(state, data);
    return take_rgb_thumbnail(state, body, data[12], data[13], kJfifThumbnailOffset);
  }
  if (starts_with(body, "JFXX", 5)) {
    if (data[5] == kJfxxRgbThumbnail) return take_rgb_thumbnail(state, body, data[6], data[7], kJfxxThumbnailOffset);
    if (data[5] == kJfxxPaletteThumbnail) return take_palette_thumbnail(state, body, data[6], data[7]);
  }
  return JPEG_SUCCESS;
}

JpegStatus read_app14(DecoderState& state) {
  JpegInput& in = state.input;
  uint32_t length = 0;
  JpegStatus status = read_segment_length(in, length);
  if (status < 0) return status;
  const uint32_t body_size = length - 2;
  if (body_size < kMinAdobeBody) return input_skip(in, body_size);
  SegmentBody body;
  status = input_segment_body(in, body_size, body);
  if (status < 0) return status == JPEG_ERR_MEMORY ? status : JPEG_ERR_DATA;
  if (starts_with(body, "Adobe", 5)) {
    const uint8_t* data = body.data();
    MarkerValues& markers = state.markers;
    markers.adobe_version = be16(data + 5);
    markers.adobe_flags0 = be16(data + 7);
    markers.adobe_flags1 = be16(data + 9);
    markers.adobe_transform = data[11];
    markers.adobe_seen = 1;
  }
  return state.frame_pending ? JPEG_SUCCESS : select_output_path(state);
}

JpegStatus read_comment(DecoderState& state) {
  SegmentBody body;
  const JpegStatus status = read_segment(state.input, kMaxSegmentBody, body);
  if (status < 0) return status;
  if (!state.frame_pending || !state.comment) return JPEG_SUCCESS;
  const uint32_t length = body.size();
  const uint32_t room = state.comment_size;
  std::memcpy(state.comment, body.data(), std::min(length, room));
  state.comment_size = static_cast<uint16_t>(length);
  // A comment larger than the buffer is cut, its real length reported.
  return room < length ? JPEG_ERR_COMMENT_BUFFER : JPEG_SUCCESS;
}
