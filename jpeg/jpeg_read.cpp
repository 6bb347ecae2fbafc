// JpegRead: one read of a JPEG stream in the given mode. Validates the
// record, copies the public fields into the state, opens the file of a file
// mode, runs the marker loop, then derives the colour values, repositions
// the input of a parameter read at its stopping marker and copies the
// results out.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "exception_guard.h"
#include "kept_image.h"
#include "marker_parser.h"
#include "read_validate.h"

namespace {

bool seek_file(HANDLE file, int64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
}

bool tell_file(HANDLE file, int64_t& offset) {
  LONG high = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return false;
  offset = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low);
  return true;
}

JpegStatus close_file(DecoderState& state) {
  std::free(state.file_name);
  state.file_name = nullptr;
  state.file_at_stop = 0;
  if (!state.file) return JPEG_SUCCESS;
  const bool closed = CloseHandle(state.file);
  state.file = nullptr;
  state.input.file = nullptr;
  return closed ? JPEG_SUCCESS : JPEG_ERR_CLOSE_FILE;
}

void copy_in(const JPEG_PROPERTIES& p, ReadFields& f) {
  f.picture_bytes = p.picture_bytes;
  f.picture_width = p.picture_width;
  f.picture_height = p.picture_height;
  f.picture_pad_bytes = p.picture_pad_bytes;
  f.picture_channels = p.picture_channels;
  f.picture_color = p.picture_color;
  f.picture_subsampling = p.picture_subsampling;
  f.jpeg_file_name = p.jpeg_file_name;
  f.jpeg_bytes = p.jpeg_bytes;
  f.jpeg_size_bytes = p.jpeg_size_bytes;
  f.jpeg_width = p.jpeg_width;
  f.jpeg_height = p.jpeg_height;
  f.jpeg_channels = p.jpeg_channels;
  f.jpeg_color = p.jpeg_color;
  f.jpeg_subsampling = p.jpeg_subsampling;
  f.thumbnail_width = p.thumbnail_width;
  f.thumbnail_height = p.thumbnail_height;
  f.color_conversion_required = p.color_conversion_required;
  f.upsampling_required = p.upsampling_required;
  f.quality = p.quality;
  // Validation keeps width x channels + pad within 32 bits.
  const int64_t stride = int64_t{f.picture_width} * f.picture_channels + f.picture_pad_bytes;
  f.row_stride = static_cast<int32_t>(stride);
  if (f.picture_height < 0 && f.picture_bytes) {
    // Bottom-up picture: image row 0 is the last line, rows go upward.
    f.picture_bytes += (-static_cast<int64_t>(f.picture_height) - 1) * stride;
    f.row_stride = -f.row_stride;
  }
}

void copy_out(const ReadFields& f, JPEG_PROPERTIES& p) {
  p.jpeg_width = f.jpeg_width;
  p.jpeg_height = f.jpeg_height;
  p.jpeg_channels = f.jpeg_channels;
  p.thumbnail_width = f.thumbnail_width;
  p.thumbnail_height = f.thumbnail_height;
  p.color_conversion_required = f.color_conversion_required;
  p.upsampling_required = f.upsampling_required;
  p.jpeg_color = f.jpeg_color;
  p.picture_color = f.picture_color;
  p.picture_channels = f.picture_channels;
  p.jpeg_subsampling = f.jpeg_subsampling;
}

bool factors_are(const FrameComponent& c, int32_t h, int32_t v) { return c.h == h && c.v == v; }

// jpeg_subsampling code of the frame's sampling factors.
uint32_t classify_subsampling(const FrameInfo& frame) {
  const FrameComponent* c = frame.components;
  bool all_one = true;
  for (uint32_t i = 0; i < frame.component_count; ++i) all_one &= factors_are(c[i], 1, 1);
  if (frame.component_count == 1 || (frame.component_count >= 2 && all_one)) return 0;
  if (frame.component_count == 3 && factors_are(c[1], 1, 1) && factors_are(c[2], 1, 1)) {
    if (factors_are(c[0], 2, 2)) return 1;
    if (factors_are(c[0], 2, 1)) return 2;
  }
  if (frame.component_count == 4 && factors_are(c[1], 1, 1) && factors_are(c[2], 1, 1)) {
    if (factors_are(c[0], 2, 2) && factors_are(c[3], 2, 2)) return 3;
    if (factors_are(c[0], 2, 1) && factors_are(c[3], 2, 1)) return 4;
  }
  return 255;
}

// Colour values implied by the Adobe and JFIF markers.
void derive_colours(DecoderState& state) {
  ReadFields& f = state.fields;
  const uint32_t components = state.frame.component_count;
  const bool parameter_read = state.mode == READ_PARAMS_FILE || state.mode == READ_PARAMS_BUFFER;
  if (state.markers.adobe_seen) {
    if (parameter_read) {
      const bool transformed = state.markers.adobe_transform != 0;
      f.picture_channels = components;
      if (components == 1) f.jpeg_color = COLOR_GRAY;
      if (components == 3) f.jpeg_color = transformed ? COLOR_YCBCR : COLOR_RGB;
      if (components == 4) {
        f.jpeg_color = transformed ? COLOR_YCBCR_FOUR : COLOR_FOUR;
        f.picture_color = COLOR_FOUR;
      }
    }
  } else if (components == 1) {
    f.jpeg_color = COLOR_GRAY;
  } else if (components == 3 && state.markers.jfif_seen) {
    f.jpeg_color = COLOR_YCBCR;
  }
  if (f.picture_color == COLOR_YCBCR && f.jpeg_color == COLOR_YCBCR) f.picture_subsampling = 2;
}

// Leaves the input at the marker a parameter or header read stopped at, so
// that a following read of the same input continues there.
JpegStatus reposition_input(DecoderState& state) {
  JpegInput& in = state.input;
  if (state.stop_offset < 0) return JPEG_SUCCESS;
  const int64_t unread_after_stop = in.position - state.stop_offset;
  if (is_file_mode(state.mode)) {
    const int64_t next_offset = in.file_offset + (in.next - in.start);
    return seek_file(state.file, next_offset - unread_after_stop) ? JPEG_SUCCESS : JPEG_ERR_FILE;
  }
  ReadFields& f = state.fields;
  const uint32_t stop = static_cast<uint32_t>(state.stop_offset);
  if (stop <= f.jpeg_size_bytes) {
    f.jpeg_bytes += stop;
    f.jpeg_size_bytes -= stop;
  }
  return JPEG_SUCCESS;
}

// Opens the file of a file mode, unless the file left open is the one named.
JpegStatus open_file(DecoderState& state) {
  const char* name = state.fields.jpeg_file_name;
  if (!name) return JPEG_ERR_FILE_NAME;
  if (state.file && state.file_name && std::strcmp(state.file_name, name) == 0) return JPEG_SUCCESS;
  JpegStatus status = close_file(state);
  if (status < 0) return status;
  const size_t length = std::strlen(name);
  state.file_name = static_cast<char*>(std::malloc(length + 1));
  if (!state.file_name) return JPEG_ERR_MEMORY;
  std::memcpy(state.file_name, name, length + 1);
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return JPEG_ERR_FILE_NAME;
  state.file = file;
  return JPEG_SUCCESS;
}

JpegStatus prepare_input(DecoderState& state) {
  const JpegReadMode mode = state.mode;
  if (!is_file_mode(mode)) {
    input_reset_buffer(state.input, state.fields.jpeg_bytes, state.fields.jpeg_bytes ? state.fields.jpeg_size_bytes : 0);
    return JPEG_SUCCESS;
  }
  const JpegStatus status = open_file(state);
  if (status < 0) return status;
  // Only a read that follows a parameter or header read of this file goes
  // on at its stopping marker; every other read starts at the file's first
  // byte, wherever an earlier read (a region read that stopped inside the
  // scan, a failed read) left the file.
  if ((is_parameter_mode(mode) || !state.file_at_stop) && !seek_file(state.file, 0)) return JPEG_ERR_FILE;
  state.file_at_stop = 0;
  int64_t offset = 0;
  if (!tell_file(state.file, offset)) return JPEG_ERR_FILE;
  input_reset_file(state.input, state.file, offset);
  return JPEG_SUCCESS;
}

// With use_inner_fields the caller vouches for the internal copies, which
// were last filled by whatever read came before (a parameter read needs no
// picture). They are still checked, so that no read writes through a
// null pointer or a stride that does not match the picture.
JpegStatus check_inner_fields(const ReadFields& f, JpegReadMode mode) {
  if (is_picture_mode(mode)) {
    if (!f.picture_bytes || f.picture_width < 1 || f.picture_width > 65535 || f.picture_height == 0 ||
        f.picture_height < -65535 || f.picture_height > 65535 || f.picture_channels < 1 || f.picture_channels > 255)
      return JPEG_ERR_INVALID_PROPERTIES;
    const int64_t stride = int64_t{f.picture_width} * f.picture_channels + f.picture_pad_bytes;
    if (stride > INT32_MAX || (f.picture_height > 0 ? f.row_stride : -int64_t{f.row_stride}) != stride)
      return JPEG_ERR_INVALID_PROPERTIES;
  }
  const bool source = is_file_mode(mode) ? f.jpeg_file_name != nullptr : f.jpeg_bytes != nullptr && f.jpeg_size_bytes != 0;
  return source ? JPEG_SUCCESS : JPEG_ERR_INVALID_PROPERTIES;
}

// A read goes on with an interrupted one when it has the same mode, input
// and picture; anything else abandons the interrupted read.
bool continues_interrupted(const DecoderState& state, JpegReadMode mode, const ReadFields& incoming) {
  const ReadFields& f = state.fields;
  return state.interrupted != Interrupted::kNone && mode == state.interrupted_mode &&
         incoming.picture_bytes == f.picture_bytes && incoming.picture_width == f.picture_width &&
         incoming.picture_height == f.picture_height && incoming.row_stride == f.row_stride &&
         incoming.picture_channels == f.picture_channels && incoming.picture_color == f.picture_color &&
         incoming.picture_subsampling == f.picture_subsampling && incoming.jpeg_file_name == f.jpeg_file_name &&
         incoming.jpeg_bytes == f.jpeg_bytes && incoming.jpeg_size_bytes == f.jpeg_size_bytes;
}

// The position an interrupted read reports: left and top are the MCU
// column and row just output; right and bottom the pixel just past that
// MCU, limited to the (reduced) image.
JpegRegion interrupt_position(const DecoderState& state) {
  const OutputPlan& plan = state.output;
  const uint32_t scale = plan.scale ? plan.scale : 1;
  const int64_t width = (int64_t{state.fields.jpeg_width} + scale - 1) / scale;
  const int64_t height = (int64_t{state.fields.jpeg_height} + scale - 1) / scale;
  return JpegRegion{static_cast<int32_t>(state.interrupt_column), static_cast<int32_t>(state.interrupt_row),
                    static_cast<int32_t>(std::min<int64_t>((int64_t{state.interrupt_column} + 1) * plan.mcu_width, width)),
                    static_cast<int32_t>(std::min<int64_t>((int64_t{state.interrupt_row} + 1) * plan.mcu_height, height))};
}

JpegStatus start_read(JPEG_PROPERTIES& p, DecoderState& state, JpegReadMode mode) {
  state.region = p.region;
  state.caller_region = p.region;
  state.dct_kind = p.dct_kind;
  state.upsampling_kind = p.upsampling_kind;
  state.interrupt = p.interrupt;
  state.comment = p.jpeg_comment;
  state.comment_size = p.jpeg_comment_size;
  state.stop_offset = -1;
  state.output = OutputPlan{};
  if (is_parameter_mode(mode)) state.frame_pending = 1;
  const JpegStatus status = prepare_input(state);
  if (status < 0) return status;
  match_kept_image(state);
  return run_marker_loop(state);
}

JpegStatus read(JPEG_PROPERTIES& p, DecoderState& state, JpegReadMode mode) {
  state.mode = mode;
  JpegStatus status = validate_mode(mode);
  if (status < 0) return status;
  ReadFields incoming = state.fields;
  if (!p.use_inner_fields) {
    status = validate_properties(p, mode);
    if (status < 0) return status;
    copy_in(p, incoming);
  } else {
    status = check_inner_fields(incoming, mode);
    if (status < 0) return status;
  }
  const bool continuing = continues_interrupted(state, mode, incoming);
  if (!continuing && state.interrupted != Interrupted::kNone) {
    // An abandoned interrupted read: a region still holding the position it
    // reported is the caller's region of that read, not a new one.
    const JpegRegion reported = interrupt_position(state);
    if (std::memcmp(&reported, &p.region, sizeof reported) == 0) p.region = state.caller_region;
  }
  const Interrupted interrupted = state.interrupted;
  state.interrupted = Interrupted::kNone;
  if (continuing) {
    // The region in force and the input stay those of the first read;
    // `region` now holds the reported position, not a region.
    state.interrupt = p.interrupt;
    status = resume_marker_loop(state, interrupted);
  } else {
    state.fields = incoming;
    status = start_read(p, state, mode);
  }
  p.jpeg_comment_size = state.comment_size;
  if (status == JPEG_INTERRUPT_SUCCESS) {
    state.interrupted_mode = mode;
    p.region = interrupt_position(state);
    return status;
  }
  // A read that was interrupted gives the caller's region back at its end.
  if (continuing) p.region = state.caller_region;
  if (status == JPEG_ROI_SUCCESS) {
    p.region = state.region;
    // A region read of a file mode is done with the file too.
    if (is_file_mode(mode)) {
      const JpegStatus closed = close_file(state);
      if (closed < 0) return closed;
    }
    return status;
  }
  if (status < 0) return status;

  derive_colours(state);
  status = reposition_input(state);
  if (status < 0) return status;
  if (!state.frame_pending) state.fields.jpeg_subsampling = classify_subsampling(state.frame);
  copy_out(state.fields, p);
  p.markers = state.markers;
  // Reads that decode to the end of the image release the file; parameter
  // reads keep it open at their stopping marker for a following read.
  if (is_file_mode(mode)) {
    if (!is_parameter_mode(mode)) return close_file(state);
    state.file_at_stop = 1;
  }
  return JPEG_SUCCESS;
}

}  // namespace

extern "C" VKT_JPEG_API JpegStatus VKT_JPEG_CALL JpegRead(JPEG_PROPERTIES* properties, JpegReadMode mode) {
  if (!properties) return JPEG_ERR_INVALID_PROPERTIES;
  DecoderState& state = state_of(*properties);
  if (state.magic != kDecoderStateMagic) return JPEG_ERR_INVALID_PROPERTIES;
  properties->mode = mode;
  const JpegStatus status = run_guarded([&] { return read(*properties, state, mode); });
  if (state.ops.multimedia_end) state.ops.multimedia_end();
  if (status < 0) close_file(state);
  return status;
}
