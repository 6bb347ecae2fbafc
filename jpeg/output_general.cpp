// General output: any sampling layout the frame allows, every output
// scale, multi-scan images (each scan into the bytes of its components),
// the Y Cb Y Cr packing of 2-byte YCbCr pictures, and the channel fill of
// grey and four-channel pictures. Slower than the fast routines (a lookup
// per sample) but run only for the uncommon layouts; scaled YCbCr reads
// into RGB or BGR take the one-pass path of output_colour_direct.cpp.
#include "output_general.h"

#include <algorithm>
#include <cstdlib>

#include "colour_convert.h"
#include "output_colour_direct.h"
#include "output_place.h"

namespace {


bool converts_picture(const ReadFields& fields) {
  const JpegColor pc = fields.picture_color;
  return fields.color_conversion_required && fields.picture_channels >= 3 &&
         (pc == COLOR_RGB || pc == COLOR_BGR || pc == COLOR_FOUR);
}

// Turns the Y, Cb, Cr in bytes 0..2 of each pixel into the picture colour.
void convert_rect_in_place(const ReadFields& fields, uint8_t* first_pixel, ptrdiff_t row_stride, int width,
                           int height) {
  const uint32_t channels = fields.picture_channels;
  const bool bgr = fields.picture_color == COLOR_BGR;
  const bool four = channels == 4 && fields.picture_color == COLOR_FOUR;
  if (four && fields.jpeg_color != COLOR_YCBCR && fields.jpeg_color != COLOR_YCBCR_FOUR) return;
  const bool invert = four && fields.jpeg_color == COLOR_YCBCR_FOUR;
  for (int y = 0; y < height; ++y) {
    uint8_t* pixel = first_pixel + y * row_stride;
    for (int x = 0; x < width; ++x, pixel += channels) {
      const int lum = pixel[0];
      const ChromaTerms terms = in_place_terms(pixel[1], pixel[2]);
      uint8_t r = clamp_sample(lum + terms.red);
      uint8_t g = clamp_sample(lum + terms.green);
      uint8_t b = clamp_sample(lum + terms.blue);
      if (invert) r = static_cast<uint8_t>(255 - r), g = static_cast<uint8_t>(255 - g), b = static_cast<uint8_t>(255 - b);
      if (bgr) std::swap(r, b);
      pixel[0] = r, pixel[1] = g, pixel[2] = b;
      if (four && !invert) pixel[3] = 255;
    }
  }
}

// Channels past the frame's components: a grey image repeats its sample
// in bytes 1 and 2; a fourth byte is opaque.
void fill_extra_channels(const ReadFields& fields, uint32_t components, uint8_t* first_pixel, ptrdiff_t row_stride,
                         int width, int height) {
  const uint32_t channels = fields.picture_channels;
  const bool grey = fields.jpeg_color == COLOR_GRAY;
  if (components >= channels || (!grey && fields.picture_color != COLOR_FOUR)) return;
  for (int y = 0; y < height; ++y) {
    uint8_t* pixel = first_pixel + y * row_stride;
    for (int x = 0; x < width; ++x, pixel += channels) {
      for (uint32_t d = components; d < channels; ++d) {
        if (grey && d < 3) pixel[d] = pixel[d - 1];
        else if (grey || d == 3) pixel[d] = 255;
      }
    }
  }
}

// Stores one component with replication. In a packed Y Cb Y Cr picture,
// chroma component k (byte 1 or 2 of the plan) goes to byte 1 of every
// second pixel.
void store_component(const DecoderState& state, const OutputComponent& component, const McuPlacement& placement,
                     bool packed) {
  const ClipRect& clip = placement.clip;
  uint32_t byte = component.picture_byte;
  int parity = -1;  // packed chroma: the pixel parity it belongs to
  if (packed && byte > 0) parity = static_cast<int>(byte) - 1, byte = 1;
  const uint32_t channels = state.fields.picture_channels;
  const int16_t* samples = state.mcu_blocks[component.first_block].coef;
  for (int y = clip.top; y < clip.bottom; ++y) {
    const int16_t* row = samples + component.row_offset[y];
    uint8_t* out = placement.first_pixel + (y - clip.top) * placement.row_stride + byte;
    for (int x = clip.left; x < clip.right; ++x, out += channels) {
      if (parity >= 0 && (x & 1) != parity) continue;
      *out = clamp_sample(row[component.column_offset[x]]);
    }
  }
}

}  // namespace

JpegStatus write_components(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row) {
  const OutputPlan& plan = state.output;
  const ReadFields& fields = state.fields;
  McuPlacement placement;
  if (plan.mcu_width > kMaxOutputMcuSide || plan.mcu_height > kMaxOutputMcuSide ||
      !place_mcu(state, plan.mcu_width, plan.mcu_height, mcu_column, mcu_row, placement))
    return JPEG_ERR_INVALID_PROPERTIES;
  const bool packed = fields.picture_color == COLOR_YCBCR && fields.picture_channels == 2;
  if (!packed && write_colour_direct(state, placement)) return JPEG_SUCCESS;
  for (uint32_t i = 0; i < plan.component_count; ++i) {
    const OutputComponent& component = plan.components[i];
    if (!packed && component.picture_byte >= fields.picture_channels) continue;
    if (packed && component.picture_byte > 2) continue;
    store_component(state, component, placement, packed);
  }
  if (state.multi_scan || packed) return JPEG_SUCCESS;
  const ClipRect& clip = placement.clip;
  finish_pixels(state, placement.first_pixel, placement.row_stride, clip.right - clip.left, clip.bottom - clip.top);
  return JPEG_SUCCESS;
}

void finish_pixels(const DecoderState& state, uint8_t* first_pixel, ptrdiff_t row_stride, int width, int height) {
  const ReadFields& fields = state.fields;
  fill_extra_channels(fields, state.frame.component_count, first_pixel, row_stride, width, height);
  if (converts_picture(fields)) convert_rect_in_place(fields, first_pixel, row_stride, width, height);
}

void convert_stored_picture(DecoderState& state) {
  const ReadFields& fields = state.fields;
  if (!converts_picture(fields)) return;
  const JpegRegion& region = state.region;
  const bool in_region = state.output.region_active;
  int64_t rows = std::llabs(int64_t{fields.picture_height});
  int64_t width = fields.picture_width;
  if (in_region) {
    rows = std::min<int64_t>(rows, std::max<int64_t>(0, int64_t{region.bottom} - region.top));
    width = std::min<int64_t>(width, std::max<int64_t>(0, int64_t{region.right} - region.left));
  }
  convert_rect_in_place(fields, fields.picture_bytes, fields.row_stride, static_cast<int>(width),
                        static_cast<int>(rows));
}
