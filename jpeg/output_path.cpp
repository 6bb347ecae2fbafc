// Output path selection: the conversion and upsampling flags, then the
// routine of slot 34 for the frame and the requested picture: a fast code
// (output_convert.cpp) where one fits, else the component writer
// (output_general.cpp). Combinations no routine produces are refused
// before any MCU is decoded.
#include "output_path.h"

#include "output_convert.h"
#include "output_general.h"

namespace {

bool is_one_by_one(const FrameComponent& component) { return component.h == 1 && component.v == 1; }
bool factors_are(const FrameComponent& c, int32_t h, int32_t v) { return c.h == h && c.v == v; }

enum class Sampling { kAllOne, kH2V1, kH2V2, kOther };

// Sampling of components 1..3 (a fourth component is checked per code).
Sampling classify(const FrameInfo& frame) {
  const FrameComponent* c = frame.components;
  bool all_one = true;
  for (uint32_t i = 0; i < frame.component_count; ++i) all_one &= is_one_by_one(c[i]);
  if (all_one) return Sampling::kAllOne;
  if (frame.component_count < 3 || !is_one_by_one(c[1]) || !is_one_by_one(c[2])) return Sampling::kOther;
  if (factors_are(c[0], 2, 1)) return Sampling::kH2V1;
  if (factors_are(c[0], 2, 2)) return Sampling::kH2V2;
  return Sampling::kOther;
}

constexpr uint32_t kGeneral = 100;  // the component writer
constexpr uint32_t kRefused = 101;  // no routine writes this combination
// A grey frame into 1, 3 or 4 bytes per pixel (the grey routine and its
// expanding forms): sampling factors and output scale make no difference
// to it, and output_path stays 0.
constexpr uint32_t kGrey = 102;

// Code of the output routine: an output_path code or one of the three above.
uint32_t choose_route(const DecoderState& state) {
  const ReadFields& f = state.fields;
  const FrameInfo& frame = state.frame;
  const uint32_t n = frame.component_count;
  const uint32_t channels = f.picture_channels;
  const JpegColor pc = f.picture_color;
  const Sampling sampling = classify(frame);
  const bool replicate = state.upsampling_kind == 0;
  if (state.multi_scan && state.progressive_scans == 0) return kGeneral;
  const bool u = f.upsampling_required != 0;
  const bool c = f.color_conversion_required != 0;
  const bool fourth_like_first = n == 4 && frame.components[3].h == frame.components[0].h &&
                                 frame.components[3].v == frame.components[0].v;
  if (n == 1 && (channels == 1 || channels == 3 || channels == 4)) return kGrey;
  if (u && c) {
    if (n == 3 && channels == 3 && (pc == COLOR_RGB || pc == COLOR_BGR)) {
      if (replicate && sampling == Sampling::kH2V2) return pc == COLOR_RGB ? 3 : 4;
      if (replicate && sampling == Sampling::kH2V1) return pc == COLOR_RGB ? 5 : 6;
      return kGeneral;
    }
    if (n == 3 && channels == 4 && pc == COLOR_FOUR) {
      if (replicate && sampling == Sampling::kH2V2) return 8;
      if (replicate && sampling == Sampling::kH2V1) return 9;
      return kGeneral;
    }
    if (n == 4 && channels == 4 && pc == COLOR_FOUR) {
      if (replicate && fourth_like_first && sampling == Sampling::kH2V1) return 12;
      if (replicate && fourth_like_first && sampling == Sampling::kH2V2) return 11;
      return kGeneral;
    }
    return kRefused;
  }
  if (u) {
    if (n == 3 && channels == 3 && pc != COLOR_BGR && replicate) {
      if (sampling == Sampling::kH2V2) return 16;
      if (sampling == Sampling::kH2V1) return 17;
    }
    // Grey and two-component frames with factors above 1 come out as
    // their 1x1 forms do.
    if (n <= 2 || n == 3 || (n == 4 && (channels == 3 || channels == 4))) return kGeneral;
    return kRefused;
  }
  if (c) {
    if (n == 3 && channels == 3 && pc == COLOR_RGB) return 1;
    if (n == 3 && channels == 3 && pc == COLOR_BGR) return 2;
    if (n == 3 && channels == 4 && pc == COLOR_FOUR) return 7;
    if (n == 4 && channels == 4 && pc == COLOR_FOUR) return 10;
    return kRefused;
  }
  if (n <= 2 || (n == 3 && channels == 1)) return kGeneral;
  if (n == 3 && channels == 2) return sampling == Sampling::kH2V1 && pc == COLOR_YCBCR ? 19 : kRefused;
  const bool all_one = sampling == Sampling::kAllOne;
  if (n == 3 && channels == 3) return pc != COLOR_BGR && all_one ? 15 : kGeneral;
  if (n == 3 && channels == 4) return pc == COLOR_FOUR && all_one ? 13 : kGeneral;
  if (n == 4 && channels == 3) return kGeneral;
  if (n == 4 && channels == 4) return all_one ? 14 : kGeneral;
  return kRefused;
}

// Replication needs a whole number of pixels per sample.
bool ratios_are_whole(const FrameInfo& frame) {
  for (uint32_t i = 0; i < frame.component_count; ++i) {
    const FrameComponent& c = frame.components[i];
    if (frame.h_max % static_cast<uint32_t>(c.h) != 0 || frame.v_max % static_cast<uint32_t>(c.v) != 0) return false;
  }
  return true;
}

}  // namespace

JpegStatus select_output_path(DecoderState& state) {
  ReadFields& fields = state.fields;
  const FrameInfo& frame = state.frame;
  // One component is grey whatever the caller guessed; the end of the read
  // says so too, but the output routine is chosen now.
  if (frame.component_count == 1) fields.jpeg_color = COLOR_GRAY;
  else if (fields.jpeg_color == COLOR_GRAY) fields.jpeg_color = COLOR_YCBCR;
  const JpegColor jpeg_color = fields.jpeg_color;
  const JpegColor picture_color = fields.picture_color;

  const bool stream_needs_no_conversion = jpeg_color == COLOR_RGB || jpeg_color == COLOR_GRAY ||
                                          jpeg_color == COLOR_FOUR || jpeg_color == COLOR_OTHER;
  const bool picture_takes_raw = picture_color == COLOR_YCBCR || picture_color == COLOR_GRAY;
  // Conversion takes Y, Cb and Cr: fewer components are copied.
  const bool too_few_components = frame.component_count > 0 && frame.component_count < 3;
  fields.color_conversion_required = (stream_needs_no_conversion || picture_takes_raw || too_few_components) ? 0 : 1;

  bool subsampled = false;
  for (uint32_t i = 0; i < frame.component_count; ++i) subsampled |= !is_one_by_one(frame.components[i]);
  fields.upsampling_required = (subsampled && picture_color != COLOR_YCBCR) ? 1 : 0;
  state.output_path = 0;

  // A YCbCr picture is packed as Y Cb Y Cr: only 2x1 / 1x1 / 1x1 frames fit.
  if (frame.component_count == 3 && jpeg_color == COLOR_YCBCR && picture_color == COLOR_YCBCR) {
    const FrameComponent* c = frame.components;
    if (!(c[0].h == 2 && c[0].v == 1 && is_one_by_one(c[1]) && is_one_by_one(c[2]))) {
      return JPEG_ERR_INVALID_PROPERTIES;
    }
  }
  if (frame.component_count == 0 || frame.component_count > kMaxFrameComponents) return JPEG_ERR_COMPONENTS;
  if (!is_picture_mode(state.mode) || is_thumbnail_mode(state.mode)) return JPEG_SUCCESS;

  // Unknown upsampling kinds have no writer.
  if (state.upsampling_kind > 1) return JPEG_ERR_INVALID_PROPERTIES;
  if (!ratios_are_whole(frame)) return JPEG_ERR_UNSUPPORTED_SUBSAMPLING;
  const uint32_t route = choose_route(state);
  if (route == kRefused) return JPEG_ERR_INVALID_PROPERTIES;
  if (route == kGeneral) {
    state.ops.mcu_output = write_components;
  } else if (route == kGrey) {
    state.ops.mcu_output = grey_routine(fields.picture_channels);
  } else {
    state.ops.mcu_output = fast_output_routine(route);
    state.output_path = route;
  }
  return JPEG_SUCCESS;
}
