// Scan header reader (SOS, ITU-T T.81 B.2.3) and the end-of-image marker.
//
// The header names Ns components, each with its DC and AC tables Td and
// Ta, then the spectral selection Ss..Se and the successive approximation
// bits Ah and Al. Values outside T.81's ranges are refused here, before
// any decoding stage indexes a block, a table or a predictor with them.
// Parameter reads stop at the first SOS and leave the input at its marker;
// picture reads hand the scan to the image read driver.
#include "byte_cursor.h"
#include "coefficient_buffer.h"
#include "huffman_standard.h"
#include "kept_image.h"
#include "marker_parser.h"
#include "mcu_driver.h"
#include "mcu_output.h"
#include "output_path.h"

namespace {

constexpr uint32_t kMaxCoefficientIndex = 63;
constexpr uint32_t kMaxApproximationBit = 13;

JpegStatus parse_scan_header(const DecoderState& state, ByteCursor& cursor, ScanInfo& scan) {
  const FrameInfo& frame = state.frame;
  uint32_t ns = 0;
  if (!cursor.read_u8(ns)) return JPEG_ERR_DATA;
  if (ns == 0 || ns > kMaxScanComponents || ns > frame.component_count) return JPEG_ERR_DATA;
  scan.component_count = ns;
  for (uint32_t i = 0; i < ns; ++i) {
    uint32_t cs = 0, tables = 0;
    if (!cursor.read_u8(cs) || !cursor.read_u8(tables)) return JPEG_ERR_DATA;
    ScanComponent& component = scan.components[i];
    component.dc_table = tables >> 4;   // Td
    component.ac_table = tables & 0x0F;  // Ta
    if (component.dc_table > 3 || component.ac_table > 3) return JPEG_ERR_DATA;
    uint32_t index = 0;
    while (index < frame.component_count && frame.components[index].id != static_cast<int32_t>(cs)) ++index;
    if (index == frame.component_count) return JPEG_ERR_DATA;
    const FrameComponent& frame_component = frame.components[index];
    if (frame_component.tq < 0 || frame_component.tq > 3) return JPEG_ERR_DATA;
    component.frame_index = index;
    component.h = frame_component.h;
    component.v = frame_component.v;
    component.quant_table = static_cast<uint32_t>(frame_component.tq);
  }
  uint32_t approximation = 0;
  if (!cursor.read_u8(scan.ss) || !cursor.read_u8(scan.se) || !cursor.read_u8(approximation)) return JPEG_ERR_DATA;
  scan.ah = approximation >> 4;
  scan.al = approximation & 0x0F;
  if (scan.se > kMaxCoefficientIndex || scan.ss > scan.se) return JPEG_ERR_DATA;
  if (scan.ah > kMaxApproximationBit || scan.al > kMaxApproximationBit) return JPEG_ERR_DATA;
  return JPEG_SUCCESS;
}

bool is_sequential_scan(const DecoderState& state, const ScanInfo& scan) {
  return state.progressive_scans == 0 && scan.ss == 0 && scan.se == 63 && scan.ah == 0 && scan.al == 0;
}

// Counts a progressive scan and makes sure the whole-image coefficient
// buffer exists. T.81 G.1.1.1.1: a DC scan codes no AC coefficient, an AC
// scan codes one component.
JpegStatus enter_progressive_scan(DecoderState& state, const ScanInfo& scan) {
  if (scan.ss == 0 && scan.se != 0) return JPEG_ERR_DATA;
  if (scan.ss != 0 && scan.component_count != 1) return JPEG_ERR_DATA;
  if (++state.progressive_scans > kMaxProgressiveScans) return JPEG_ERR_DATA;
  if (scan.ss == 0 && scan.al == 0) state.dc_complete_count += scan.component_count;
  if (scan.ss != 0 && scan.se == 63 && scan.al == 0) state.ac_complete_count += 1;
  return state.coefficients_prepared ? JPEG_SUCCESS : prepare_coefficient_buffer(state);
}

// The end of a scan's decoding: an interrupted scan is taken up by the
// next read; sequential components are counted for the multi-scan output.
JpegStatus finish_scan(DecoderState& state, JpegStatus status) {
  if (status == JPEG_INTERRUPT_SUCCESS) state.interrupted = Interrupted::kScan;
  if (status != JPEG_SUCCESS) return status;
  if (is_sequential_scan(state, state.scan)) state.input.sequential_components += state.scan.component_count;
  return JPEG_SUCCESS;
}

JpegStatus finish_output(DecoderState& state, JpegStatus status) {
  if (status == JPEG_INTERRUPT_SUCCESS) state.interrupted = Interrupted::kOutputPass;
  return status == JPEG_SUCCESS ? kReadComplete : status;
}

}  // namespace

JpegStatus read_scan(DecoderState& state) {
  if (state.frame_pending) return JPEG_ERR_NO_FRAME;
  JpegInput& in = state.input;
  SegmentBody body;
  JpegStatus status = read_segment(in, kMaxSegmentBody, body);
  if (status < 0) return status;
  const uint32_t segment_bytes = body.size() + 4;  // marker, length, body
  state.ops.last_sos_length = segment_bytes;

  ScanInfo scan{};
  ByteCursor cursor(body.data(), body.size());
  status = parse_scan_header(state, cursor, scan);
  if (status < 0) return status;
  in.eob_run = 0;

  if (is_parameter_mode(state.mode)) {
    state.stop_offset = in.position - segment_bytes;
    return kReadComplete;
  }

  scan.restart_interval = state.restart_interval;
  state.multi_scan = (scan.component_count < state.frame.component_count && state.progressive_scans == 0) ? 1 : 0;
  status = select_output_path(state);
  if (status < 0) return status;
  const bool sequential = is_sequential_scan(state, scan);
  if (sequential && !state.keep_coefficients) release_coefficient_buffer(state);
  if (!sequential) {
    // A progressive image whose coefficients the record kept goes to its
    // output pass from the first scan's header on.
    if (state.progressive_scans == 0 && restore_kept_image(state)) return finish_output(state, finish_image(state));
    status = enter_progressive_scan(state, scan);
    if (status < 0) return status;
  }
  status = supply_standard_huffman_tables(state, scan);
  if (status < 0) return status;

  state.scan = scan;
  return finish_scan(state, decode_image(state, state.scan));
}

JpegStatus resume_interrupted(DecoderState& state, Interrupted interrupted) {
  if (interrupted == Interrupted::kOutputPass) return finish_output(state, finish_image(state, true));
  return finish_scan(state, decode_image(state, state.scan));
}

JpegStatus read_end_of_image(DecoderState& state) {
  if (is_parameter_mode(state.mode)) return kReadComplete;
  if (state.frame_pending) {
    // An EOI before any frame: only a following SOI (a new image) is accepted.
    if (next_marker(state.input) != 0xD8) return JPEG_ERR_NO_IMAGE;
    state.restart_interval = 0;
    return JPEG_SUCCESS;
  }
  if (is_picture_mode(state.mode) && !is_thumbnail_mode(state.mode)) {
    keep_image(state);
    return finish_output(state, finish_image(state));
  }
  return kReadComplete;
}
