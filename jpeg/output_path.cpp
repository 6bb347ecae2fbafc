// Output path selection, the part that depends on the frame alone: the
// conversion and upsampling flags and the checks of the requested picture.
// Slot 34 stays empty until output routines exist; a picture read then
// ends with JPEG_ERR_NOT_SUPPORTED after its entropy decoding.
#include "output_path.h"

namespace {

bool is_one_by_one(const FrameComponent& component) { return component.h == 1 && component.v == 1; }

}  // namespace

JpegStatus select_output_path(DecoderState& state) {
  ReadFields& fields = state.fields;
  const FrameInfo& frame = state.frame;
  const JpegColor jpeg_color = fields.jpeg_color;
  const JpegColor picture_color = fields.picture_color;

  const bool stream_needs_no_conversion = jpeg_color == COLOR_RGB || jpeg_color == COLOR_GRAY ||
                                          jpeg_color == COLOR_FOUR || jpeg_color == COLOR_OTHER;
  const bool picture_takes_raw = picture_color == COLOR_YCBCR || picture_color == COLOR_GRAY;
  fields.color_conversion_required = (stream_needs_no_conversion || picture_takes_raw) ? 0 : 1;

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
  return JPEG_SUCCESS;
}
