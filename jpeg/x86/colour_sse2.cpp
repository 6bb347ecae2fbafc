// SSE2 members of the whole-MCU converters (slots 35..44): grey, and
// YCbCr of 1x1, 2x1 and 2x2 luma blocks into RGB, BGR and RGBX pictures;
// and of the grey expanders (grey into 3- and 4-byte pictures).
// Eight pixels per step. The chroma terms are those of converter_terms
// (colour_convert.h), computed on 16 bits (colour_terms.h); the sums and
// clamps run on 16 bits too, which is exact because the transforms'
// samples lie in 0..255.
#include <immintrin.h>

#include "colour_terms.h"
#include "jpeg_ops.h"
#include "simd_target.h"
#include "x86_members.h"

namespace {

using vkt_colour::load8;
using vkt_colour::spread;
using vkt_colour::Terms;

enum class Layout { kRgb, kBgr, kRgbx };

// Four pixels of four bytes (the fourth unused) into their first 12 bytes.
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i drop_fourth_bytes(__m128i pixels) {
  const __m128i pairs = _mm_or_si128(_mm_and_si128(pixels, _mm_set1_epi64x(0xFFFFFF)),
                                     _mm_and_si128(_mm_srli_epi64(pixels, 8), _mm_set1_epi64x(0xFFFFFF000000)));
  return _mm_or_si128(_mm_and_si128(pairs, _mm_set_epi64x(0, -1)),
                      _mm_srli_si128(_mm_and_si128(pairs, _mm_set_epi64x(-1, 0)), 2));
}

// Eight pixels whose bytes are the low halves of first, second, third.
template <Layout kLayout>
VKT_TARGET_SSE2 VKT_LANES_INLINE void store_pixels(uint8_t* out, __m128i first, __m128i second, __m128i third) {
  const __m128i low_pairs = _mm_unpacklo_epi8(first, second);
  const __m128i high_pairs = _mm_unpacklo_epi8(third, _mm_set1_epi8(-1));
  const __m128i pixels_0_3 = _mm_unpacklo_epi16(low_pairs, high_pairs);
  const __m128i pixels_4_7 = _mm_unpackhi_epi16(low_pairs, high_pairs);
  if constexpr (kLayout == Layout::kRgbx) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pixels_0_3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), pixels_4_7);
  } else {
    const __m128i packed_0_3 = drop_fourth_bytes(pixels_0_3), packed_4_7 = drop_fourth_bytes(pixels_4_7);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(packed_0_3, _mm_slli_si128(packed_4_7, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_srli_si128(packed_4_7, 4));
  }
}


// One picture row of kH luma blocks' width with the chroma terms of its
// chroma row.
template <int kH, Layout kLayout>
VKT_TARGET_SSE2 VKT_LANES_INLINE void convert_row(const int16_t* luma, const Terms& row_terms, uint8_t* out) {
  constexpr int kChannels = kLayout == Layout::kRgbx ? 4 : 3;
  #pragma GCC unroll 8
  for (int block = 0; block < kH; ++block) {
    Terms terms = row_terms;
    if constexpr (kH == 2) {
      terms = {spread(row_terms.red, block), spread(row_terms.green, block), spread(row_terms.blue, block)};
    }
    const __m128i lum = load8(luma + block * 64);
    const __m128i r = _mm_packus_epi16(_mm_adds_epi16(lum, terms.red), lum);
    const __m128i g = _mm_packus_epi16(_mm_adds_epi16(lum, terms.green), lum);
    const __m128i b = _mm_packus_epi16(_mm_adds_epi16(lum, terms.blue), lum);
    uint8_t* const pixels = out + block * 8 * kChannels;
    if constexpr (kLayout == Layout::kBgr) {
      store_pixels<kLayout>(pixels, b, g, r);
    } else {
      store_pixels<kLayout>(pixels, r, g, b);
    }
  }
}

template <int kH, int kV, Layout kLayout>
VKT_TARGET_SSE2 void convert_whole_sse2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  constexpr int kChromaBase = kH * kV * 64;
  #pragma GCC unroll 8
  for (int chroma_row = 0; chroma_row < 8; ++chroma_row) {
    const int16_t* const cb = samples + kChromaBase + chroma_row * 8;
    const Terms terms = vkt_colour::terms16<false>(load8(cb), load8(cb + 64));
    // The kV picture rows that share this chroma row.
    #pragma GCC unroll 8
    for (int y = chroma_row * kV; y < (chroma_row + 1) * kV; ++y) {
      convert_row<kH, kLayout>(samples + (y >> 3) * kH * 64 + (y & 7) * 8, terms, destination + y * row_stride);
    }
  }
}

VKT_TARGET_SSE2 void convert_grey_sse2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  #pragma GCC unroll 8
  for (int y = 0; y < 8; ++y) {
    const __m128i lum = load8(samples + 8 * y);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + y * row_stride), _mm_packus_epi16(lum, lum));
  }
}

// A grey MCU into 3- or 4-byte pixels: the sample in each colour byte
// (and 255 in the fourth), the pixels built as the colour members build
// theirs.
template <Layout kLayout>
VKT_TARGET_SSE2 void expand_grey_sse2(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride) {
  #pragma GCC unroll 8
  for (int y = 0; y < 8; ++y) {
    const __m128i lum = load8(samples + 8 * y);
    const __m128i value = _mm_packus_epi16(lum, lum);
    store_pixels<kLayout>(destination + y * row_stride, value, value, value);
  }
}

// A picture row of any width with the in-place arithmetic, eight
// pixels per step; the last step's pixels go through a local buffer when
// fewer than eight remain.
template <Layout kLayout>
VKT_TARGET_SSE2 void convert_ycc_row_sse2(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out,
                                          int width) {
  for (int x = 0; x < width; x += 8) {
    const Terms sums = vkt_colour::in_place_sums16(load8(luma + x), load8(cb + x), load8(cr + x));
    const __m128i r = _mm_packus_epi16(sums.red, sums.red);
    const __m128i g = _mm_packus_epi16(sums.green, sums.green);
    const __m128i b = _mm_packus_epi16(sums.blue, sums.blue);
    const int pixels = width - x;
    alignas(16) uint8_t tail[24];
    uint8_t* const target = pixels >= 8 ? out + 3 * x : tail;
    if constexpr (kLayout == Layout::kBgr) {
      store_pixels<kLayout>(target, b, g, r);
    } else {
      store_pixels<kLayout>(target, r, g, b);
    }
    if (pixels < 8) __builtin_memcpy(out + 3 * x, tail, static_cast<size_t>(3 * pixels));
  }
}

VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i terms_at(const int16_t* terms) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms));
}

// The triangle filter's pairs of the eight chroma columns from `terms` on.
template <int kShift, int kLeftRound, int kRightRound>
VKT_TARGET_SSE2 VKT_LANES_INLINE auto pairs_at(const int16_t* terms) {
  return vkt_colour::triangle_pair<kShift, kLeftRound, kRightRound>(terms_at(terms - 1), terms_at(terms),
                                                                    terms_at(terms + 1));
}

// The one-pass triangle row: sixteen pixels per step, on 16-bit lanes
// throughout (in_place_sums16), eight chroma columns' pairs unpacked into
// pixels 0-7 and 8-15 as the luma bytes are. The last step's pixels go
// through a local buffer when fewer than sixteen remain.
template <int kShift, int kLeftRound, int kRightRound, Layout kLayout>
VKT_TARGET_SSE2 void triangle_colour_row_sse2(const uint8_t* luma, const int16_t* cb_terms, const int16_t* cr_terms,
                                              uint8_t* out, int width) {
  const __m128i zero = _mm_setzero_si128();
  for (int x = 0; x < width; x += 16) {
    const __m128i luma_bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + x));
    const auto blue_pair = pairs_at<kShift, kLeftRound, kRightRound>(cb_terms + x / 2);
    const auto red_pair = pairs_at<kShift, kLeftRound, kRightRound>(cr_terms + x / 2);
    const auto low = vkt_colour::in_place_sums16(_mm_unpacklo_epi8(luma_bytes, zero),
                                                 _mm_unpacklo_epi16(blue_pair.left, blue_pair.right),
                                                 _mm_unpacklo_epi16(red_pair.left, red_pair.right));
    const auto high = vkt_colour::in_place_sums16(_mm_unpackhi_epi8(luma_bytes, zero),
                                                  _mm_unpackhi_epi16(blue_pair.left, blue_pair.right),
                                                  _mm_unpackhi_epi16(red_pair.left, red_pair.right));
    const __m128i r = _mm_packus_epi16(low.red, high.red), g = _mm_packus_epi16(low.green, high.green);
    const __m128i b = _mm_packus_epi16(low.blue, high.blue);
    const __m128i first = kLayout == Layout::kBgr ? b : r, third = kLayout == Layout::kBgr ? r : b;
    const int pixels = width - x;
    alignas(16) uint8_t tail[48];
    uint8_t* const target = pixels >= 16 ? out + 3 * x : tail;
    store_pixels<kLayout>(target, first, g, third);
    store_pixels<kLayout>(target + 24, _mm_srli_si128(first, 8), _mm_srli_si128(g, 8), _mm_srli_si128(third, 8));
    if (pixels < 16) __builtin_memcpy(out + 3 * x, tail, static_cast<size_t>(3 * pixels));
  }
}

}  // namespace

void fill_triangle_colour_sse2(SideMembers& members) {
  members.triangle_colour[1][0] = triangle_colour_row_sse2<4, 8, 7, Layout::kRgb>;
  members.triangle_colour[1][1] = triangle_colour_row_sse2<4, 8, 7, Layout::kBgr>;
  members.triangle_colour[0][0] = triangle_colour_row_sse2<2, 1, 2, Layout::kRgb>;
  members.triangle_colour[0][1] = triangle_colour_row_sse2<2, 1, 2, Layout::kBgr>;
}

void fill_ycc_rows_sse2(SideMembers& members) {
  members.ycc_row_rgb = convert_ycc_row_sse2<Layout::kRgb>;
  members.ycc_row_bgr = convert_ycc_row_sse2<Layout::kBgr>;
}

void fill_grey_expanders_sse2(SideMembers& expanders) {
  expanders.grey_three_bytes = expand_grey_sse2<Layout::kRgb>;
  expanders.grey_four_bytes = expand_grey_sse2<Layout::kRgbx>;
}

void fill_output_converters_sse2(JpegOps& ops) {
  const auto slot = [&ops](int number) -> McuConverter& {
    return ops.output_converters[number - kOutputConverterFirstSlot];
  };
  slot(35) = convert_grey_sse2;
  slot(36) = convert_whole_sse2<1, 1, Layout::kRgb>;
  slot(37) = convert_whole_sse2<2, 1, Layout::kRgb>;
  slot(38) = convert_whole_sse2<2, 2, Layout::kRgb>;
  slot(39) = convert_whole_sse2<1, 1, Layout::kBgr>;
  slot(40) = convert_whole_sse2<2, 1, Layout::kBgr>;
  slot(41) = convert_whole_sse2<2, 2, Layout::kBgr>;
  slot(42) = convert_whole_sse2<1, 1, Layout::kRgbx>;
  slot(43) = convert_whole_sse2<2, 1, Layout::kRgbx>;
  slot(44) = convert_whole_sse2<2, 2, Layout::kRgbx>;
}
