// The general writer's common colour case in one pass: a YCbCr frame of
// three components into a 3-byte RGB or BGR picture, as scaled reads and
// other layouts without a fast routine have it. Each pixel's Y, Cb and Cr
// samples are fetched with the general writer's replication and converted
// with its in-place arithmetic, so the bytes are exactly those of storing
// the components and converting the pixels afterwards, without writing
// the picture twice.
#include "output_colour_direct.h"

#include <algorithm>

#include "colour_convert.h"

namespace {

// Widest MCU: 4 blocks of 8 samples (factors are at most 4).
constexpr int kMaxMcuWidth = 32;

// The sample offsets of one component for the clip's columns, and the
// offset of a row's first sample.
struct ComponentWalk {
  const int16_t* samples;
  const OutputComponent* component;
  int32_t column_offset[kMaxMcuWidth];

  ComponentWalk(const DecoderState& state, const OutputComponent& c, const ClipRect& clip)
      : samples(state.mcu_blocks[c.first_block].coef), component(&c) {
    const uint32_t samples_wide = c.blocks_wide * c.block_size;
    for (int x = clip.left; x < clip.right; ++x) {
      const uint32_t sx = std::min(static_cast<uint32_t>(x) / c.ratio_h, samples_wide - 1);
      column_offset[x] = static_cast<int32_t>((sx / c.block_size) * 64 + sx % c.block_size);
    }
  }
  const int16_t* row(int y) const {
    const uint32_t size = component->block_size;
    const uint32_t sy = std::min(static_cast<uint32_t>(y) / component->ratio_v, component->blocks_high * size - 1);
    return samples + (sy / size) * component->blocks_wide * 64 + (sy % size) * 8;
  }
};

template <bool kBgr>
void convert_rows(const ComponentWalk& y_walk, const ComponentWalk& cb_walk, const ComponentWalk& cr_walk,
                  const McuPlacement& placement) {
  const ClipRect& clip = placement.clip;
  for (int y = clip.top; y < clip.bottom; ++y) {
    const int16_t* lum_row = y_walk.row(y);
    const int16_t* cb_row = cb_walk.row(y);
    const int16_t* cr_row = cr_walk.row(y);
    uint8_t* out = placement.first_pixel + (y - clip.top) * placement.row_stride;
    for (int x = clip.left; x < clip.right; ++x, out += 3) {
      const int lum = clamp_sample(lum_row[y_walk.column_offset[x]]);
      const ChromaTerms terms =
          in_place_terms(clamp_sample(cb_row[cb_walk.column_offset[x]]), clamp_sample(cr_row[cr_walk.column_offset[x]]));
      const uint8_t r = clamp_sample(lum + terms.red), g = clamp_sample(lum + terms.green),
                    b = clamp_sample(lum + terms.blue);
      out[0] = kBgr ? b : r;
      out[1] = g;
      out[2] = kBgr ? r : b;
    }
  }
}

}  // namespace

bool write_colour_direct(const DecoderState& state, const McuPlacement& placement) {
  const ReadFields& fields = state.fields;
  const OutputPlan& plan = state.output;
  const bool rgb_picture = fields.picture_color == COLOR_RGB || fields.picture_color == COLOR_BGR;
  if (state.multi_scan || plan.component_count != 3 || state.frame.component_count != 3 ||
      fields.jpeg_color != COLOR_YCBCR || !fields.color_conversion_required || !rgb_picture ||
      fields.picture_channels != 3 || plan.mcu_width > kMaxMcuWidth)
    return false;
  for (uint32_t i = 0; i < 3; ++i) {
    if (plan.components[i].picture_byte != i) return false;
  }
  const ComponentWalk y_walk(state, plan.components[0], placement.clip);
  const ComponentWalk cb_walk(state, plan.components[1], placement.clip);
  const ComponentWalk cr_walk(state, plan.components[2], placement.clip);
  if (fields.picture_color == COLOR_BGR) {
    convert_rows<true>(y_walk, cb_walk, cr_walk, placement);
  } else {
    convert_rows<false>(y_walk, cb_walk, cr_walk, placement);
  }
  return true;
}
