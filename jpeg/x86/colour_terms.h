// Chroma terms of the YCbCr converters on eight samples (and sixteen on
// AVX2 registers): the values of converter_terms and in_place_terms
// (colour_convert.h), computed on 16-bit lanes with products whose
// roundings agree with theirs for every sample in 0..255; and the
// triangle filter's pixel pairs. Shared by the SSE2 and AVX2 converters.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "simd_target.h"

// The members of the including file's instruction set: SSE2 unless it
// sets VKT_COLOUR_TARGET first (the AVX2 converters do, and also get the
// 256-bit forms below, one row of eight samples per 128-bit half).
#ifndef VKT_COLOUR_TARGET
#define VKT_COLOUR_TARGET VKT_TARGET_SSE2
#endif

namespace vkt_colour {

struct Terms {
  __m128i red, green, blue;  // eight 16-bit terms each
};

VKT_COLOUR_TARGET VKT_LANES_INLINE Terms terms(__m128i red, __m128i green, __m128i blue) { return {red, green, blue}; }
#ifdef VKT_COLOUR_WIDE
struct WideTerms {
  __m256i red, green, blue;  // sixteen 16-bit terms each
};
VKT_COLOUR_TARGET VKT_LANES_INLINE WideTerms terms(__m256i red, __m256i green, __m256i blue) {
  return {red, green, blue};
}
#endif

// The 16-bit operations of the terms on each register width.
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i add16(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i add16(__m128i a, int16_t k) { return _mm_add_epi16(a, _mm_set1_epi16(k)); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE void set16(__m128i& a, int16_t k) { a = _mm_set1_epi16(k); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i high_product16(__m128i a, int16_t k) {
  return _mm_mulhi_epu16(a, _mm_set1_epi16(k));
}
template <int kBits>
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i shift_left16(__m128i a) { return _mm_slli_epi16(a, kBits); }
template <int kBits>
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i shift_right16(__m128i a) { return _mm_srli_epi16(a, kBits); }
template <int kBits>
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i shift_signed16(__m128i a) { return _mm_srai_epi16(a, kBits); }
#ifdef VKT_COLOUR_WIDE
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i add16(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i add16(__m256i a, int16_t k) {
  return _mm256_add_epi16(a, _mm256_set1_epi16(k));
}
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i sub16(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE void set16(__m256i& a, int16_t k) { a = _mm256_set1_epi16(k); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i high_product16(__m256i a, int16_t k) {
  return _mm256_mulhi_epu16(a, _mm256_set1_epi16(k));
}
template <int kBits>
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i shift_left16(__m256i a) { return _mm256_slli_epi16(a, kBits); }
template <int kBits>
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i shift_right16(__m256i a) { return _mm256_srli_epi16(a, kBits); }
template <int kBits>
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i shift_signed16(__m256i a) { return _mm256_srai_epi16(a, kBits); }
#endif

// The triangle filter's left and right samples of chroma columns from
// their terms and those of the columns before and after (as
// triangle_pairs computes them; the sums stay below 2^15).
template <typename Register>
struct TrianglePair {
  Register left, right;
};
template <int kShift, int kLeftRound, int kRightRound, typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE TrianglePair<Register> triangle_pair(
    Register before, Register here, Register after) {
  const Register three = add16(add16(add16(here, here), here), static_cast<int16_t>(kLeftRound));
  return {shift_signed16<kShift>(add16(three, before)),
          shift_signed16<kShift>(add16(add16(three, after), static_cast<int16_t>(kRightRound - kLeftRound)))};
}

// The chroma terms of Cb and Cr samples in 0..255 on 16 bits, from unsigned
// high products ((a * k) >> 16) of b = 256 * Cb + 99 and r = 256 * Cr:
//   red   (359 Cr - 45813) >> 8 = ((r + 8) * 359) >> 16 - 179,
//   blue  (454 Cb - 57937) >> 8 = (b * 454) >> 16 - 227,
// and with g = (b * 11264) >> 16 + (r' * 23424) >> 16 (44 Cb and 91.5 Cr,
// each floored),
//   green in place (34806 - 88 Cb - 183 Cr) >> 8
//         = 135 - (g - 15) >> 7 with r' = r + 8,
//   green of the converters -((88 Cb + 183 Cr - 34806) >> 8)
//         = 136 - (g - 12) >> 7 with r' = r,
// each equal to the values of in_place_terms and converter_terms
// (colour_convert.h) for every pair of samples (g stays below 2^16).
template <bool kInPlace, typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE auto terms16(Register cb, Register cr) {
  Register green_base;
  set16(green_base, kInPlace ? 135 : 136);
  const Register blue_base = add16(shift_left16<8>(cb), 99);
  const Register red_base = shift_left16<8>(cr), red_rounded = add16(red_base, 8);
  const Register green_sum =
      add16(high_product16(blue_base, 11264), high_product16(kInPlace ? red_rounded : red_base, 23424));
  return terms(add16(high_product16(red_rounded, 359), -179),
               sub16(green_base, shift_right16<7>(add16(green_sum, kInPlace ? -15 : -12))),
               add16(high_product16(blue_base, 454), -227));
}
// The in-place sums: luma plus the in-place terms.
template <typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE auto in_place_sums16(Register lum, Register cb, Register cr) {
  const auto chroma = terms16<true>(cb, cr);
  return terms(add16(lum, chroma.red), add16(lum, chroma.green), add16(lum, chroma.blue));
}

// Each of eight terms twice: the terms of the pixels of luma block `block`
// (0 or 1) when two neighbouring pixels share a chroma sample.
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i spread(__m128i terms, int block) {
  return block == 0 ? _mm_unpacklo_epi16(terms, terms) : _mm_unpackhi_epi16(terms, terms);
}

VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i load8(const int16_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace vkt_colour
