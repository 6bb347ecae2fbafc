// Fast MCU output: one template per sampling layout (component 1 of 1x1,
// 2x1 or 2x2 blocks, the others 1x1, a fourth component laid out like the
// first) and output format. The same template writes a whole MCU (the
// full-MCU converters of slots 35..53, bounds-free) and the clipped part of
// an edge MCU, so both paths share their arithmetic exactly. Chroma terms
// are computed once per chroma sample of a row, not once per pixel.
#include "output_convert.h"

#include "bit_reader.h"
#include "colour_convert.h"
#include "output_place.h"

namespace {

enum class Format { kRgb, kBgr, kRgbx, kInvertedRgbK, kCopy3, kCopy3x, kCopy4, kYcbYcr, kGrey, kGrey3, kGrey4 };

constexpr int channels_of(Format format) {
  switch (format) {
    case Format::kGrey: return 1;
    case Format::kYcbYcr: return 2;
    case Format::kRgb:
    case Format::kBgr:
    case Format::kCopy3:
    case Format::kGrey3: return 3;
    default: return 4;
  }
}

constexpr bool converts(Format format) {
  return format == Format::kRgb || format == Format::kBgr || format == Format::kRgbx ||
         format == Format::kInvertedRgbK;
}

constexpr bool is_grey(Format format) {
  return format == Format::kGrey || format == Format::kGrey3 || format == Format::kGrey4;
}

// Stores one converted pixel.
template <Format kFormat>
VKT_FORCE_INLINE void store_converted(uint8_t* out, int lum, const ChromaTerms& terms, int fourth) {
  const uint8_t r = clamp_sample(lum + terms.red);
  const uint8_t g = clamp_sample(lum + terms.green);
  const uint8_t b = clamp_sample(lum + terms.blue);
  if constexpr (kFormat == Format::kBgr) {
    out[0] = b, out[1] = g, out[2] = r;
  } else if constexpr (kFormat == Format::kInvertedRgbK) {
    out[0] = static_cast<uint8_t>(255 - r), out[1] = static_cast<uint8_t>(255 - g);
    out[2] = static_cast<uint8_t>(255 - b), out[3] = static_cast<uint8_t>(fourth);
  } else {
    out[0] = r, out[1] = g, out[2] = b;
    if constexpr (kFormat == Format::kRgbx) out[3] = 255;
  }
}

// Stores one pixel of a copying format.
template <Format kFormat>
VKT_FORCE_INLINE void store_copied(uint8_t* out, int lum, int cb, int cr, int fourth, int x) {
  if constexpr (kFormat == Format::kGrey) {
    out[0] = clamp_sample(lum);
  } else if constexpr (kFormat == Format::kGrey3 || kFormat == Format::kGrey4) {
    const uint8_t value = clamp_sample(lum);
    out[0] = value, out[1] = value, out[2] = value;
    if constexpr (kFormat == Format::kGrey4) out[3] = 255;
  } else if constexpr (kFormat == Format::kYcbYcr) {
    out[0] = static_cast<uint8_t>(lum);
    out[1] = static_cast<uint8_t>((x & 1) ? cr : cb);
  } else {
    out[0] = static_cast<uint8_t>(lum), out[1] = static_cast<uint8_t>(cb), out[2] = static_cast<uint8_t>(cr);
    if constexpr (kFormat == Format::kCopy3x) out[3] = 255;
    if constexpr (kFormat == Format::kCopy4) out[3] = static_cast<uint8_t>(fourth);
  }
}

// Writes MCU pixels clip.left..right-1 x clip.top..bottom-1; `first_pixel`
// is the picture byte of pixel (clip.left, clip.top). kH x kV are the
// blocks of component 1 (and of a fourth component).
template <int kH, int kV, Format kFormat>
void convert(const int16_t* samples, uint8_t* first_pixel, ptrdiff_t row_stride, const ClipRect& clip) {
  constexpr int kChannels = channels_of(kFormat);
  constexpr int kChromaBase = kH * kV * 64;
  constexpr int kFourthBase = kChromaBase + 128;
  for (int y = clip.top; y < clip.bottom; ++y) {
    uint8_t* out = first_pixel + (y - clip.top) * row_stride;
    const int luma_offset = (y >> 3) * kH * 64 + (y & 7) * 8;
    const int16_t* luma = samples + luma_offset;
    const int16_t* cb = samples + kChromaBase + (y >> (kV - 1)) * 8;
    const int16_t* cr = cb + 64;
    const int16_t* fourth = samples + kFourthBase + luma_offset;
    for (int x = clip.left; x < clip.right; ++x, out += kChannels) {
      const int within = (x >> 3) * 64 + (x & 7);
      const int c = x >> (kH - 1);
      if constexpr (converts(kFormat)) {
        store_converted<kFormat>(out, luma[within], converter_terms(cb[c], cr[c]), fourth[within]);
      } else if constexpr (is_grey(kFormat)) {
        store_copied<kFormat>(out, luma[within], 0, 0, 0, x);  // a grey MCU is its one block
      } else {
        store_copied<kFormat>(out, luma[within], cb[c], cr[c], fourth[within], x);
      }
    }
  }
}

// A whole MCU without clipping: each chroma sample's terms once for the
// kH pixels of the row that share it.
template <int kH, int kV, Format kFormat>
void convert_whole(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  if constexpr (!converts(kFormat)) {
    convert<kH, kV, kFormat>(samples, destination, row_stride, ClipRect{0, 0, 8 * kH, 8 * kV});
  } else {
    constexpr int kChannels = channels_of(kFormat);
    constexpr int kChromaBase = kH * kV * 64;
    constexpr int kFourthBase = kChromaBase + 128;
    for (int y = 0; y < 8 * kV; ++y) {
      uint8_t* out = destination + y * row_stride;
      const int luma_offset = (y >> 3) * kH * 64 + (y & 7) * 8;
      const int16_t* luma = samples + luma_offset;
      const int16_t* fourth = samples + kFourthBase + luma_offset;
      const int16_t* cb = samples + kChromaBase + (y >> (kV - 1)) * 8;
      const int16_t* cr = cb + 64;
      for (int c = 0; c < 8; ++c) {
        const ChromaTerms terms = converter_terms(cb[c], cr[c]);
        for (int k = 0; k < kH; ++k, out += kChannels) {
          const int x = c * kH + k;
          const int within = (x >> 3) * 64 + (x & 7);
          store_converted<kFormat>(out, luma[within], terms, fourth[within]);
        }
      }
    }
  }
}

// How many MCUs ahead of the one being stored its row's picture bytes are
// prefetched: far enough for a miss to come back while the MCUs between
// are decoded.
constexpr int64_t kPrefetchAhead = 4;

// MCUs whose picture bytes one prefetch call asks for: as many as fit a
// cache line side by side (two 1x1 MCUs of 3- or 4-byte pixels), so narrow
// MCUs ask once per group. The spans stay no longer than a line and tile
// the row, so the last byte of each still reaches every line.
template <int kH, Format kFormat>
constexpr int64_t prefetch_group() {
  constexpr int64_t kCacheLine = 64, kBytes = 8 * kH * channels_of(kFormat);
  return kBytes < kCacheLine ? kCacheLine / kBytes : 1;
}

// Slot 34 for one code: whole MCUs through the converter slot, edge MCUs
// through the clipped template.
template <int kH, int kV, Format kFormat, int kSlot>
JpegStatus fast_output(DecoderState& state, uint32_t column, uint32_t row) {
  const McuConverter whole = state.ops.output_converters[kSlot - kOutputConverterFirstSlot];
  if (uint8_t* const origin = whole_mcu_origin(state, 8 * kH, 8 * kV, column, row)) {
    constexpr int64_t kGroup = prefetch_group<kH, kFormat>();
    static_assert(kGroup * 8 * kH * channels_of(kFormat) <= 64, "a short span is one cache line at most");
    if (column % kGroup == 0) {
      prefetch_short_span<8 * kV>(state.fields, (int64_t{column} + kPrefetchAhead) * 8 * kH, int64_t{row} * 8 * kV,
                                  kGroup * 8 * kH);
    }
    whole(state.mcu_blocks[0].coef, origin, state.fields.row_stride);
    return JPEG_SUCCESS;
  }
  McuPlacement placement;
  if (!place_mcu(state, 8 * kH, 8 * kV, column, row, placement)) return JPEG_ERR_INVALID_PROPERTIES;
  const int16_t* samples = state.mcu_blocks[0].coef;
  if (is_whole_mcu(placement.clip, 8 * kH, 8 * kV)) {
    whole(samples, placement.first_pixel, placement.row_stride);
  } else {
    convert<kH, kV, kFormat>(samples, placement.first_pixel, placement.row_stride, placement.clip);
  }
  return JPEG_SUCCESS;
}

// The top-left kSize x kSize samples of a grey block, unclipped: the
// whole MCU of a scaled read.
template <int kSize, Format kFormat>
VKT_FORCE_INLINE void expand_grey_square(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  constexpr int kChannels = channels_of(kFormat);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      store_copied<kFormat>(destination + y * row_stride + x * kChannels, samples[8 * y + x], 0, 0, 0, x);
    }
  }
}

// Slot 34 for a grey frame into 1-, 3- or 4-byte pictures. The MCU is one
// block whatever the component's factors, at the read's block size: whole
// full-scale MCUs go through slot 35 or the record's grey expanders, whole
// scaled ones through a loop of constant size, edge MCUs through the
// clipped template (its indexing holds for any block size up to 8).
template <Format kFormat>
JpegStatus grey_output(DecoderState& state, uint32_t column, uint32_t row) {
  const OutputPlan& plan = state.output;
  McuPlacement placement;
  if (!place_mcu(state, plan.mcu_width, plan.mcu_height, column, row, placement)) return JPEG_ERR_INVALID_PROPERTIES;
  const int16_t* samples = state.mcu_blocks[0].coef;
  uint8_t* const first = placement.first_pixel;
  const ptrdiff_t stride = placement.row_stride;
  const ClipRect& clip = placement.clip;
  if (is_whole_mcu(clip, 8, 8)) {
    const SideMembers& expanders = state.side_members;
    const McuConverter whole = kFormat == Format::kGrey ? state.ops.output_converters[35 - kOutputConverterFirstSlot]
                               : kFormat == Format::kGrey4 ? expanders.grey_four_bytes
                                                           : expanders.grey_three_bytes;
    whole(samples, first, stride);
  } else if (is_whole_mcu(clip, 4, 4)) {
    expand_grey_square<4, kFormat>(samples, first, stride);
  } else if (is_whole_mcu(clip, 2, 2)) {
    expand_grey_square<2, kFormat>(samples, first, stride);
  } else if (is_whole_mcu(clip, 1, 1)) {
    expand_grey_square<1, kFormat>(samples, first, stride);
  } else {
    convert<1, 1, kFormat>(samples, first, stride, clip);
  }
  return JPEG_SUCCESS;
}

}  // namespace

void fill_output_converters(JpegOps& ops) {
  const auto slot = [&ops](int number) -> McuConverter& {
    return ops.output_converters[number - kOutputConverterFirstSlot];
  };
  slot(35) = convert_whole<1, 1, Format::kGrey>;
  slot(36) = convert_whole<1, 1, Format::kRgb>;
  slot(37) = convert_whole<2, 1, Format::kRgb>;
  slot(38) = convert_whole<2, 2, Format::kRgb>;
  slot(39) = convert_whole<1, 1, Format::kBgr>;
  slot(40) = convert_whole<2, 1, Format::kBgr>;
  slot(41) = convert_whole<2, 2, Format::kBgr>;
  slot(42) = convert_whole<1, 1, Format::kRgbx>;
  slot(43) = convert_whole<2, 1, Format::kRgbx>;
  slot(44) = convert_whole<2, 2, Format::kRgbx>;
  slot(45) = convert_whole<1, 1, Format::kCopy3>;
  slot(46) = convert_whole<2, 1, Format::kCopy3>;
  slot(47) = convert_whole<2, 2, Format::kCopy3>;
  slot(48) = convert_whole<1, 1, Format::kCopy3x>;
  slot(49) = convert_whole<2, 1, Format::kYcbYcr>;
  slot(50) = convert_whole<1, 1, Format::kInvertedRgbK>;
  slot(51) = convert_whole<2, 1, Format::kInvertedRgbK>;
  slot(52) = convert_whole<2, 2, Format::kInvertedRgbK>;
  slot(53) = convert_whole<1, 1, Format::kCopy4>;
}

McuOutput fast_output_routine(uint32_t code) {
  static constexpr McuOutput kRoutines[] = {
      grey_output<Format::kGrey>,                    fast_output<1, 1, Format::kRgb, 36>,
      fast_output<1, 1, Format::kBgr, 39>,           fast_output<2, 2, Format::kRgb, 38>,
      fast_output<2, 2, Format::kBgr, 41>,           fast_output<2, 1, Format::kRgb, 37>,
      fast_output<2, 1, Format::kBgr, 40>,           fast_output<1, 1, Format::kRgbx, 42>,
      fast_output<2, 2, Format::kRgbx, 44>,          fast_output<2, 1, Format::kRgbx, 43>,
      fast_output<1, 1, Format::kInvertedRgbK, 50>,  fast_output<2, 2, Format::kInvertedRgbK, 52>,
      fast_output<2, 1, Format::kInvertedRgbK, 51>,  fast_output<1, 1, Format::kCopy3x, 48>,
      fast_output<1, 1, Format::kCopy4, 53>,         fast_output<1, 1, Format::kCopy3, 45>,
      fast_output<2, 2, Format::kCopy3, 47>,         fast_output<2, 1, Format::kCopy3, 46>,
      nullptr,                                       fast_output<2, 1, Format::kYcbYcr, 49>,
  };
  return code < sizeof(kRoutines) / sizeof(kRoutines[0]) ? kRoutines[code] : nullptr;
}

void fill_grey_expanders(SideMembers& expanders) {
  expanders.grey_three_bytes = convert_whole<1, 1, Format::kGrey3>;
  expanders.grey_four_bytes = convert_whole<1, 1, Format::kGrey4>;
}

McuOutput grey_routine(uint32_t channels) {
  if (channels == 1) return grey_output<Format::kGrey>;
  if (channels == 3) return grey_output<Format::kGrey3>;
  if (channels == 4) return grey_output<Format::kGrey4>;
  return nullptr;
}

bool writes_scaled_reads(McuOutput routine) {
  return routine == grey_output<Format::kGrey> || routine == grey_output<Format::kGrey3> ||
         routine == grey_output<Format::kGrey4>;
}
