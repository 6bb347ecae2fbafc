// The marker search and the marker loop: finds each marker in the stream
// (skipping fill bytes 0xFF and stuffed 0xFF 0x00 pairs) and dispatches it
// to its segment reader until a reader ends the read.
#include "marker_parser.h"

namespace {

enum Marker : int {
  kSof0 = 0xC0,
  kSof1 = 0xC1,
  kSof2 = 0xC2,
  kDht = 0xC4,
  kRst0 = 0xD0,
  kRst7 = 0xD7,
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
  kDqt = 0xDB,
  kDri = 0xDD,
  kApp0 = 0xE0,
  kApp14 = 0xEE,
  kCom = 0xFE,
};

// Lossless, hierarchical and arithmetic-coded frames, and the reserved 0xC8.
bool is_unsupported_frame(int marker) {
  return marker == 0xC3 || (marker >= 0xC5 && marker <= 0xCB) || (marker >= 0xCD && marker <= 0xCF);
}

JpegStatus dispatch_marker(DecoderState& state, int marker) {
  switch (marker) {
    case kSoi:
      state.restart_interval = 0;
      state.frame_pending = 1;
      return JPEG_SUCCESS;
    case kSof0:
      return read_frame_header(state);
    case kSof1:
    case kSof2:
      // Once a frame is taken, later SOF1/SOF2 segments are skipped by their
      // length, so bytes inside them are never taken for markers.
      return state.frame_pending ? read_frame_header(state) : skip_segment(state);
    case kDht:
      return read_huffman_tables(state);
    case kDqt:
      return read_quant_tables(state);
    case kDri:
      return read_restart_interval(state);
    case kSos:
      return read_scan(state);
    case kEoi:
      return read_end_of_image(state);
    case kApp0:
      // An entropy-only read continues from a header read; its APP0
      // segments are skipped unread.
      return state.mode == READ_ENTROPY_FILE ? skip_segment(state) : read_app0(state);
    case kApp14:
      return read_app14(state);
    case kCom:
      return read_comment(state);
    default:
      break;
  }
  if (marker >= kRst0 && marker <= kRst7) return JPEG_SUCCESS;  // outside a scan: ignored
  if (is_unsupported_frame(marker)) return JPEG_ERR_UNSUPPORTED_FRAME;
  return skip_segment(state);
}

}  // namespace

int next_marker(JpegInput& in) {
  if (in.pending_marker != 0) {
    const int marker = in.pending_marker;
    in.pending_marker = 0;
    return marker;
  }
  for (;;) {
    int byte;
    do {
      byte = input_next_byte(in);
      if (byte < 0) return byte;
      if (byte == kEndOfInput) return JPEG_ERR_MEMORY;
    } while (byte != 0xFF);
    const int code = input_peek_byte(in);
    if (code < 0) return code;
    if (code == kEndOfInput) return JPEG_ERR_MEMORY;
    if (code == 0xFF) continue;  // fill byte: it is the 0xFF the search passes next
    input_next_byte(in);
    if (code != 0x00) return code;  // 0xFF 0x00 outside a scan is passed over
  }
}

static JpegStatus dispatch_markers(DecoderState& state) {
  JpegInput& in = state.input;
  for (;;) {
    const int marker = next_marker(in);
    if (marker < 0) return marker;
    const JpegStatus status = dispatch_marker(state, marker);
    if (status == kReadComplete) return JPEG_SUCCESS;
    if (status != JPEG_SUCCESS) return status;
  }
}

JpegStatus run_marker_loop(DecoderState& state) {
  JpegInput& in = state.input;
  if (is_parameter_mode(state.mode)) {
    const int first = next_marker(in);
    if (first != kSoi) return JPEG_ERR_NOT_JPEG;
    state.restart_interval = 0;
  }
  // Every read counts the scans it decodes afresh: a record that reads the
  // same progressive image again (its SOF2 is not read while a frame is
  // held) must neither inherit the last read's counts nor reach the scan
  // limit after enough reads.
  state.progressive_scans = 0;
  state.dc_complete_count = 0;
  state.ac_complete_count = 0;
  return dispatch_markers(state);
}

JpegStatus resume_marker_loop(DecoderState& state, Interrupted interrupted) {
  const JpegStatus status = resume_interrupted(state, interrupted);
  if (status == kReadComplete) return JPEG_SUCCESS;
  if (status != JPEG_SUCCESS) return status;
  return dispatch_markers(state);
}

JpegStatus read_segment_length(JpegInput& in, uint32_t& length) {
  if (input_read_u16(in, length) < 0 || length < 2) return JPEG_ERR_DATA;
  return JPEG_SUCCESS;
}

JpegStatus read_segment(JpegInput& in, uint32_t max_body, SegmentBody& body) {
  uint32_t length = 0;
  const JpegStatus status = read_segment_length(in, length);
  if (status < 0) return status;
  if (length - 2 > max_body) return JPEG_ERR_DATA;
  const JpegStatus body_status = input_segment_body(in, length - 2, body);
  if (body_status == JPEG_ERR_MEMORY) return body_status;
  return body_status < 0 ? JPEG_ERR_DATA : JPEG_SUCCESS;
}

JpegStatus skip_segment(DecoderState& state) {
  uint32_t length = 0;
  const JpegStatus status = read_segment_length(state.input, length);
  if (status < 0) return status;
  return input_skip(state.input, length - 2);
}
