// Frame header reader (SOF0 baseline, SOF1 extended sequential, SOF2
// progressive; ITU-T T.81 B.2.2): precision P, lines Y, samples per line X,
// Nc components with their identifiers C, sampling factors H and V and
// quantisation table selectors Tq, and the MCU grid derived from them.
//
// Only 8-bit frames are decoded. The component table holds 4 entries, so a
// frame with more components is refused before anything is stored, as are
// sampling factors outside T.81's 1..4 and MCUs of more than 10 blocks,
// which would not fit the MCU buffers of the later stages.
#include <algorithm>

#include "byte_cursor.h"
#include "kept_image.h"
#include "marker_parser.h"
#include "output_path.h"

namespace {

uint32_t ceil_div(uint32_t value, uint32_t divisor) { return (value + divisor - 1) / divisor; }

// A new frame invalidates what the previous one's scans built, unless the
// record kept this very frame's finished coefficients (kept_image.h); the
// buffer itself stays for the frame's first scan to clear or replace.
void forget_progressive_state(DecoderState& state, int64_t frame_offset) {
  state.coefficients_prepared = frame_is_kept(state, frame_offset) ? 1 : 0;
  state.progressive_scans = 0;
  state.dc_complete_count = 0;
  state.ac_complete_count = 0;
}

}  // namespace

JpegStatus read_frame_header(DecoderState& state) {
  JpegInput& in = state.input;
  if (is_header_mode(state.mode)) {
    // Header reads stop before the frame: leave the input at the marker.
    state.stop_offset = in.position - 2;
    return kReadComplete;
  }
  // One read decodes one frame. A frame header after this read's scans (a
  // second SOF, or a new image begun without an EOI) would replace the
  // frame the caller sized the read by: a few bytes could then claim a
  // frame of any size and make the read decode all of it.
  if (state.progressive_scans > 0 || in.sequential_components > 0) return JPEG_ERR_MULTIPLE_FRAMES;
  const int64_t frame_offset = in.position - 2;  // the SOF marker
  SegmentBody body;
  const JpegStatus status = read_segment(in, kMaxSegmentBody, body);
  if (status < 0) return status;
  ByteCursor cursor(body.data(), body.size());

  FrameInfo frame{};
  uint32_t component_count = 0;
  if (!cursor.read_u8(frame.precision) || !cursor.read_u16(frame.lines) || !cursor.read_u16(frame.samples_per_line) ||
      !cursor.read_u8(component_count)) {
    return JPEG_ERR_DATA;
  }
  if (frame.precision != 8) return JPEG_ERR_UNSUPPORTED_FRAME;
  if (frame.lines == 0) return JPEG_ERR_DNL;  // the height must be in the header: no DNL support
  if (frame.samples_per_line == 0) return JPEG_ERR_SOF;
  if (component_count == 0 || component_count > kMaxFrameComponents) return JPEG_ERR_COMPONENTS;

  frame.component_count = component_count;
  for (uint32_t i = 0; i < component_count; ++i) {
    uint32_t id = 0, factors = 0, tq = 0;
    if (!cursor.read_u8(id) || !cursor.read_u8(factors) || !cursor.read_u8(tq)) return JPEG_ERR_DATA;
    FrameComponent& component = frame.components[i];
    component.id = static_cast<int32_t>(id);
    component.h = static_cast<int32_t>(factors >> 4);
    component.v = static_cast<int32_t>(factors & 0x0F);
    component.tq = static_cast<int32_t>(tq);  // checked against 0..3 when a scan uses it
    if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4) return JPEG_ERR_COMPONENTS;
    frame.h_max = std::max<uint32_t>(frame.h_max, component.h);
    frame.v_max = std::max<uint32_t>(frame.v_max, component.v);
    frame.blocks_per_mcu += static_cast<uint32_t>(component.h * component.v);
  }
  if (frame.blocks_per_mcu > kMaxBlocksPerMcu) return JPEG_ERR_COMPONENTS;

  frame.mcus_per_row = ceil_div(frame.samples_per_line, 8 * frame.h_max);
  frame.mcu_rows = ceil_div(frame.lines, 8 * frame.v_max);
  frame.total_mcus = frame.mcus_per_row * frame.mcu_rows;

  forget_progressive_state(state, frame_offset);
  state.frame = frame;
  state.frame_pending = 0;
  state.fields.jpeg_channels = frame.component_count;
  state.fields.jpeg_width = frame.samples_per_line;
  state.fields.jpeg_height = frame.lines;
  return select_output_path(state);
}
