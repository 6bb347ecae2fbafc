// The general writer's common colour case in one pass: a YCbCr frame of
// three components into a 3-byte RGB or BGR picture, as scaled reads and
// other layouts without a fast routine have it. Each row's Y, Cb and Cr
// samples are gathered with the general writer's replication into short
// arrays, which a row converter (a side member, so with vector members)
// turns into pixels with the in-place conversion's arithmetic: the bytes
// are exactly those of storing the components and converting the pixels
// afterwards, without writing the picture twice or converting per sample.
#include "output_colour_direct.h"



#include "colour_convert.h"

namespace {

// Row y's samples of the clip's columns, clamped as the general writer
// stores them.
void gather(const DecoderState& state, const OutputComponent& component, const ClipRect& clip, int y,
            int16_t* out) {
  // The component's blocks lie one after the other in the MCU buffer.
  const int16_t* samples = state.mcu_blocks[component.first_block].coef;
  const int16_t* row = samples + component.row_offset[y];
  const uint8_t* column = component.column_offset + clip.left;
  for (int i = 0; i < clip.right - clip.left; ++i) out[i] = clamp_sample(row[column[i]]);
}

template <bool kBgr>
void convert_ycc_row(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, int width) {
  for (int x = 0; x < width; ++x, out += 3) {
    const int lum = luma[x];
    const ChromaTerms terms = in_place_terms(cb[x], cr[x]);
    const uint8_t r = clamp_sample(lum + terms.red), g = clamp_sample(lum + terms.green),
                  b = clamp_sample(lum + terms.blue);
    out[0] = kBgr ? b : r;
    out[1] = g;
    out[2] = kBgr ? r : b;
  }
}

}  // namespace

void fill_ycc_rows(SideMembers& members) {
  members.ycc_row_rgb = convert_ycc_row<false>;
  members.ycc_row_bgr = convert_ycc_row<true>;
}

bool colour_direct_applies(const DecoderState& state) {
  const ReadFields& fields = state.fields;
  const OutputPlan& plan = state.output;
  const bool rgb_picture = fields.picture_color == COLOR_RGB || fields.picture_color == COLOR_BGR;
  if (state.multi_scan || plan.component_count != 3 || state.frame.component_count != 3 ||
      fields.jpeg_color != COLOR_YCBCR || !fields.color_conversion_required || !rgb_picture ||
      fields.picture_channels != 3)
    return false;
  for (uint32_t i = 0; i < 3; ++i) {
    if (plan.components[i].picture_byte != i) return false;
  }
  return true;
}

bool write_colour_direct(const DecoderState& state, const McuPlacement& placement) {
  const OutputPlan& plan = state.output;
  if (!colour_direct_applies(state) || plan.mcu_width > kMaxOutputMcuSide || plan.mcu_height > kMaxOutputMcuSide)
    return false;
  const ReadFields& fields = state.fields;
  const ClipRect& clip = placement.clip;
  const YccRowConverter convert =
      fields.picture_color == COLOR_BGR ? state.side_members.ycc_row_bgr : state.side_members.ycc_row_rgb;
  // Zeroed, so the row converters may read up to a multiple of 16.
  alignas(16) int16_t rows[3][kMaxOutputMcuSide] = {};
  for (int y = clip.top; y < clip.bottom; ++y) {
    for (int c = 0; c < 3; ++c) gather(state, plan.components[c], clip, y, rows[c]);
    convert(rows[0], rows[1], rows[2], placement.first_pixel + (y - clip.top) * placement.row_stride,
            clip.right - clip.left);
  }
  return true;
}
