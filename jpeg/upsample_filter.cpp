// Triangle filter (the "fancy" upsampling of T.81 decoders): for a chroma
// sample s with horizontal neighbour h on the side of the output pixel,
//   2x1: (3s + h + 1) >> 2 on the left pixel, (3s + h + 2) >> 2 on the right;
//   2x2: column sums c = 3s + n (n the vertically nearer neighbour row),
//        then (3c + c' + 8) >> 4 left and (3c + c' + 7) >> 4 right.
// Neighbours beyond the image repeat its edge samples (the last valid
// chroma column and row, not the encoder's padding). Rows are written
// whole, through the same completion (extra channels, in-place colour
// conversion) as the component writer, and clipped to the picture and
// region like every other write; a YCbCr line into RGB or BGR goes
// through one side member that forms the pairs and converts in the same
// pass. An MCU row's lines are stored in one burst once the row below
// is known, so their picture bytes are prefetched as the MCUs arrive.
#include "upsample_filter.h"

#include <algorithm>
#include <cstdlib>

#include "colour_convert.h"
#include "output_colour_direct.h"
#include "output_general.h"

namespace {

constexpr uint32_t kBands = 3;
// MCUs whose lines are prefetched together.
constexpr uint32_t kPrefetchGroup = 4;

uint32_t ceil_div(uint64_t a, uint64_t b) { return static_cast<uint32_t>((a + b - 1) / b); }

// Line `line` of component c within the band of MCU row `mcu_row`.
uint8_t* band_line(const UpsampleFilter& filter, uint32_t c, uint32_t mcu_row, uint32_t line) {
  return filter.samples + size_t{mcu_row % kBands} * filter.band_bytes + filter.band_offset[c] +
         size_t{line} * filter.band_width[c];
}

// Line `line` of component c, counted from the image top, in its band.
uint8_t* line_of(const UpsampleFilter& filter, uint32_t c, uint32_t line) {
  const uint32_t lines = filter.band_lines[c];
  return band_line(filter, c, line / lines, line % lines);
}

// The terms of half-width chroma component c for image line y, pixels
// x_begin..x_end-1, into terms[column] for their chroma columns and one
// beyond each end: the 3:1 sum with the nearer line for 2x2, the sample
// for 2x1, taken once per column. Beyond the valid columns the edge
// column's term repeats (terms[-1] must be writable), so that the pixel
// pairs between need no bounds tests.
void chroma_terms(const DecoderState& state, const OutputComponent& component, uint32_t c, uint32_t y,
                  uint32_t x_begin, uint32_t x_end, int16_t* terms) {
  const UpsampleFilter& filter = state.filter;
  const uint32_t last_column = filter.valid_width[c] - 1;
  const bool vertical = component.ratio_v == 2;
  const uint32_t j = vertical ? y >> 1 : y;
  const uint32_t near = (y & 1) ? std::min(j + 1, filter.valid_height[c] - 1) : (j == 0 ? 0 : j - 1);
  const uint8_t* row = line_of(filter, c, j);
  const uint8_t* neighbour_row = line_of(filter, c, near);
  const uint32_t first = x_begin >> 1, last = (x_end - 1) >> 1;
  const uint32_t from = first == 0 ? 0 : first - 1, to = std::min(last + 1, last_column);
  const uint32_t end = to + 1;
  if (vertical) {
    state.side_members.triangle_terms(row + from, neighbour_row + from, terms + from, static_cast<int>(end - from));
  } else {
    for (uint32_t i = from; i < end; ++i) terms[i] = row[i];
  }
  if (first == 0) terms[-1] = terms[0];
  if (last + 1 > last_column) terms[static_cast<ptrdiff_t>(last_column) + 1] = terms[last_column];
}

bool is_half_width(const OutputComponent& component) {
  return component.ratio_h == 2 && (component.ratio_v == 2 || component.ratio_v == 1);
}

// Component c's samples of image line y, pixels x_begin..x_end-1, into
// out[0..]: half-width chroma through its terms (in the filter's scratch
// line) and the side member for pairs.
void filter_line(const DecoderState& state, const OutputComponent& component, uint32_t c, uint32_t y,
                 uint32_t x_begin, uint32_t x_end, int16_t* out) {
  const UpsampleFilter& filter = state.filter;
  const uint32_t last_column = filter.valid_width[c] - 1;
  const uint32_t last_line = filter.valid_height[c] - 1;
  if (is_half_width(component)) {
    int16_t* const terms = filter.rows + size_t{3} * filter.row_width + 1;  // terms[-1] is valid
    chroma_terms(state, component, c, y, x_begin, x_end, terms);
    const TrianglePairs pairs =
        component.ratio_v == 2 ? state.side_members.triangle_2x2 : state.side_members.triangle_2x1;
    // An odd first pixel is the right one of its pair, an even last pixel
    // the left one: their pair is written to a spare pair before the line.
    int16_t edge[2];
    uint32_t x = x_begin;
    if (x & 1) {
      pairs(terms + (x >> 1), edge, 1);
      *out++ = edge[1];
      ++x;
    }
    const uint32_t whole_pairs = (x_end - x) / 2;
    pairs(terms + (x >> 1), out, static_cast<int>(whole_pairs));
    x += 2 * whole_pairs;
    out += 2 * whole_pairs;
    if (x < x_end) {
      pairs(terms + (x >> 1), edge, 1);
      *out = edge[0];
    }
  } else if (component.ratio_h == 1 && component.ratio_v == 1) {
    // Full-resolution components are copied: their columns are the
    // image's, so no pixel lies past the last one.
    const uint8_t* row = line_of(filter, c, std::min(y, last_line));
    for (uint32_t x = x_begin; x < x_end; ++x) *out++ = row[x];
  } else {
    // Other ratios replicate.
    const uint8_t* row = line_of(filter, c, std::min(y / component.ratio_v, last_line));
    for (uint32_t x = x_begin; x < x_end; ++x) *out++ = row[std::min(x / component.ratio_h, last_column)];
  }
}

// Writes component c's samples of image line y, pixels x_begin..x_end-1,
// into its byte of the pixels starting at `pixel`.
void write_component_line(const DecoderState& state, const OutputComponent& component, uint32_t c, uint32_t y,
                          uint32_t x_begin, uint32_t x_end, uint8_t* pixel) {
  const uint32_t channels = state.fields.picture_channels;
  int16_t* const line = state.filter.rows;
  filter_line(state, component, c, y, x_begin, x_end, line);
  uint8_t* out = pixel + component.picture_byte;
  for (uint32_t i = 0; i < x_end - x_begin; ++i, out += channels) *out = static_cast<uint8_t>(line[i]);
}

// Whether a YCbCr line starting at x_begin goes through the side member
// that filters and converts in one pass: full-size luma, Cb and Cr of one
// half-width layout, the line starting on the left pixel of a pair.
bool converts_in_one_pass(const OutputPlan& plan, uint32_t x_begin) {
  const OutputComponent* components = plan.components;
  return (x_begin & 1) == 0 && components[0].ratio_h == 1 && components[0].ratio_v == 1 &&
         is_half_width(components[1]) && components[2].ratio_h == 2 &&
         components[2].ratio_v == components[1].ratio_v;
}

// A YCbCr line into a 3-byte RGB or BGR picture: in one pass from the
// luma line and the chroma terms where the layout allows, else the three
// components' samples into the filter's row arrays and then the row
// converter; the bytes of write_component_line and the in-place
// conversion either way.
void write_colour_line(const DecoderState& state, uint32_t y, uint32_t x_begin, uint32_t x_end, uint8_t* pixel) {
  const UpsampleFilter& filter = state.filter;
  const OutputComponent* components = state.output.components;
  const bool bgr = state.fields.picture_color == COLOR_BGR;
  const int width = static_cast<int>(x_end - x_begin);
  if (converts_in_one_pass(state.output, x_begin)) {
    int16_t* const terms[2] = {filter.rows + filter.row_width + 1, filter.rows + size_t{2} * filter.row_width + 1};
    for (uint32_t c = 1; c < 3; ++c) chroma_terms(state, components[c], c, y, x_begin, x_end, terms[c - 1]);
    const uint8_t* luma = line_of(filter, 0, std::min(y, filter.valid_height[0] - 1)) + x_begin;
    const TriangleColourRow convert = state.side_members.triangle_colour[components[1].ratio_v == 2][bgr];
    convert(luma, terms[0] + (x_begin >> 1), terms[1] + (x_begin >> 1), pixel, width);
    return;
  }
  int16_t* rows[3];
  for (uint32_t c = 0; c < 3; ++c) {
    rows[c] = filter.rows + size_t{c} * filter.row_width;
    filter_line(state, components[c], c, y, x_begin, x_end, rows[c]);
  }
  const YccRowConverter convert = bgr ? state.side_members.ycc_row_bgr : state.side_members.ycc_row_rgb;
  convert(rows[0], rows[1], rows[2], pixel, width);
}

// Writes MCU row `mcu_row` of the image into the picture.
void write_row(DecoderState& state, uint32_t mcu_row) {
  const OutputPlan& plan = state.output;
  const ReadFields& fields = state.fields;
  const JpegRegion& region = state.region;
  const bool in_region = plan.region_active != 0;
  const int64_t left = in_region ? region.left : 0;
  const int64_t top = in_region ? region.top : 0;
  int64_t x_end = std::min<int64_t>(fields.jpeg_width, int64_t{fields.picture_width} + left);
  if (in_region) x_end = std::min<int64_t>(x_end, region.right);
  if (x_end <= left) return;
  const int64_t picture_rows = std::llabs(int64_t{fields.picture_height});
  const uint32_t first_line = mcu_row * plan.mcu_height;
  const uint32_t end_line = std::min<uint32_t>(first_line + plan.mcu_height, fields.jpeg_height);
  const bool colour_direct = colour_direct_applies(state);
  for (uint32_t y = first_line; y < end_line; ++y) {
    const int64_t out_row = int64_t{y} - top;
    if (out_row < 0 || out_row >= picture_rows || (in_region && y >= static_cast<uint32_t>(region.bottom))) continue;
    uint8_t* pixel = fields.picture_bytes + out_row * fields.row_stride;
    if (colour_direct) {
      write_colour_line(state, y, static_cast<uint32_t>(left), static_cast<uint32_t>(x_end), pixel);
      continue;
    }
    for (uint32_t c = 0; c < plan.component_count; ++c) {
      const OutputComponent& component = plan.components[c];
      if (component.picture_byte >= fields.picture_channels) continue;
      write_component_line(state, component, c, y, static_cast<uint32_t>(left), static_cast<uint32_t>(x_end), pixel);
    }
    finish_pixels(state, pixel, fields.row_stride, static_cast<int>(x_end - left), 1);
  }
}

// The portable one-pass member: each pixel's Cb and Cr as triangle_pairs
// gives them, converted as the portable row converter converts.
template <int kShift, int kLeftRound, int kRightRound, bool kBgr>
void triangle_colour_row(const uint8_t* luma, const int16_t* cb_terms, const int16_t* cr_terms, uint8_t* out,
                         int width) {
  for (int x = 0; x < width; ++x, out += 3) {
    const int k = x >> 1, side = (x & 1) ? 1 : -1, round = (x & 1) ? kRightRound : kLeftRound;
    const int cb = (3 * cb_terms[k] + cb_terms[k + side] + round) >> kShift;
    const int cr = (3 * cr_terms[k] + cr_terms[k + side] + round) >> kShift;
    store_in_place_pixel<kBgr>(out, luma[x], cb, cr);
  }
}

}  // namespace

void fill_triangle_members(SideMembers& members) {
  members.triangle_2x2 = triangle_pairs<4, 8, 7>;
  members.triangle_2x1 = triangle_pairs<2, 1, 2>;
  members.triangle_terms = triangle_terms;
  members.triangle_colour[1][0] = triangle_colour_row<4, 8, 7, false>;
  members.triangle_colour[1][1] = triangle_colour_row<4, 8, 7, true>;
  members.triangle_colour[0][0] = triangle_colour_row<2, 1, 2, false>;
  members.triangle_colour[0][1] = triangle_colour_row<2, 1, 2, true>;
}

bool filter_applies(const DecoderState& state, uint32_t scan_components) {
  const FrameInfo& frame = state.frame;
  return state.upsampling_kind == 1 && state.output.scale == 1 && !state.multi_scan &&
         state.fields.upsampling_required && scan_components == frame.component_count && frame.h_max == 2 &&
         frame.v_max <= 2 && state.fields.picture_channels >= 1 && state.fields.picture_color != COLOR_YCBCR;
}

JpegStatus prepare_filter(DecoderState& state, uint32_t mcu_columns, uint32_t mcu_rows) {
  UpsampleFilter& filter = state.filter;
  const FrameInfo& frame = state.frame;
  size_t band_bytes = 0;
  for (uint32_t c = 0; c < frame.component_count; ++c) {
    const FrameComponent& component = frame.components[c];
    filter.band_offset[c] = band_bytes;
    filter.band_width[c] = mcu_columns * static_cast<uint32_t>(component.h) * 8;
    filter.band_lines[c] = static_cast<uint32_t>(component.v) * 8;
    filter.valid_width[c] = ceil_div(uint64_t{frame.samples_per_line} * component.h, frame.h_max);
    filter.valid_height[c] = ceil_div(uint64_t{frame.lines} * component.v, frame.v_max);
    band_bytes += size_t{filter.band_width[c]} * filter.band_lines[c];
  }
  filter.band_bytes = band_bytes;
  // After the bands, four lines of the image width: three for the colour
  // lines, readable up to a multiple of 16 samples past it, and the
  // chroma terms.
  filter.row_width = (frame.samples_per_line + 31) & ~15u;
  const size_t bands = (band_bytes * kBands + 15) & ~size_t{15};
  const size_t needed = bands + size_t{4} * filter.row_width * sizeof(int16_t);
  if (filter.capacity < needed) {
    std::free(filter.samples);
    filter.samples = static_cast<uint8_t*>(std::calloc(needed, 1));
    filter.capacity = filter.samples ? needed : 0;
    if (!filter.samples) return JPEG_ERR_MEMORY;
  }
  filter.rows = reinterpret_cast<int16_t*>(filter.samples + bands);
  OutputPlan& plan = state.output;
  // The blocks of an MCU in their order in the MCU, each at its band line
  // and column; the band holds every MCU column of the scan.
  filter.place_count = 0;
  for (uint32_t c = 0; c < plan.component_count; ++c) {
    const OutputComponent& component = plan.components[c];
    for (uint32_t by = 0; by < component.blocks_high; ++by) {
      for (uint32_t bx = 0; bx < component.blocks_wide; ++bx) {
        if (component.first_block + by * component.blocks_wide + bx != filter.place_count) return JPEG_ERR_INTERNAL;
        filter.places[filter.place_count++] = {filter.band_offset[c] + size_t{by} * 8 * filter.band_width[c] + bx * 8,
                                               component.blocks_wide * 8, filter.band_width[c]};
      }
    }
  }
  if (plan.region_active) {
    plan.first_column = plan.first_column > 0 ? plan.first_column - 1 : 0;
    plan.first_row = plan.first_row > 0 ? plan.first_row - 1 : 0;
    plan.end_column = std::min(plan.end_column + 1, mcu_columns);
    plan.end_row = std::min(plan.end_row + 1, mcu_rows);
  }
  plan.use_filter = 1;
  return JPEG_SUCCESS;
}

uint8_t* filter_band(const UpsampleFilter& filter, uint32_t mcu_row) {
  return filter.samples + size_t{mcu_row % kBands} * filter.band_bytes;
}

void filter_mcu(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row, uint32_t mcu_columns, uint32_t mcu_rows,
                bool stored) {
  const OutputPlan& plan = state.output;
  const McuConverter store_grey = state.ops.output_converters[35 - kOutputConverterFirstSlot];
  // Each block's eight lines go to its place in the band of this MCU row,
  // clamped by the grey converter (slot 35); the places are worked out
  // once per scan (prepare_filter), not per block.
  const UpsampleFilter& filter = state.filter;
  uint8_t* const band = filter_band(filter, mcu_row);
  const uint32_t place_count = stored || mcu_column >= mcu_columns ? 0 : filter.place_count;
  for (uint32_t b = 0; b < place_count; ++b)
    store_grey(state.mcu_blocks[b].coef, filter_block_first(filter, band, b, mcu_column), filter.places[b].stride);
  const uint32_t last_column = plan.region_active ? plan.end_column - 1 : mcu_columns - 1;
  const uint32_t last_row = plan.region_active ? plan.end_row - 1 : mcu_rows - 1;
  // The lines the last few MCUs' columns will give at the row's end: those
  // of the row above, whose last lines wait for this row's chroma (2x2),
  // or its own (2x1); a few MCUs at a time, so that the loop over the
  // lines is set up less often.
  const bool below_needed = state.frame.v_max == 2;
  const uint32_t group_end = mcu_column + 1;
  if (!plan.region_active && (!below_needed || mcu_row > 0) &&
      (group_end % kPrefetchGroup == 0 || mcu_column == last_column)) {
    const int64_t group_first = int64_t{mcu_column / kPrefetchGroup} * kPrefetchGroup * plan.mcu_width;
    prefetch_picture_span(state.fields, group_first, int64_t{below_needed ? mcu_row - 1 : mcu_row} * plan.mcu_height,
                          int64_t{group_end} * plan.mcu_width - group_first, plan.mcu_height);
  }
  if (mcu_column != last_column) return;
  if (!below_needed) {
    write_row(state, mcu_row);
    return;
  }
  if (mcu_row > 0) write_row(state, mcu_row - 1);
  if (mcu_row == last_row) write_row(state, mcu_row);
}
