// Chroma terms of the YCbCr converters on eight samples (and sixteen on
// AVX2 registers): the arithmetic of converter_terms and in_place_terms
// (colour_convert.h) with the same shifts, computed in 32 bits and kept as
// 16-bit terms (exact for samples in 0..255). Shared by the SSE2 and AVX2
// converters.
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

// The operations of the terms on each register width.
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i madd(__m128i a, int32_t k) { return _mm_madd_epi16(a, _mm_set1_epi32(k)); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i minus_shift8(__m128i a, int32_t k) {
  return _mm_srai_epi32(_mm_sub_epi32(a, _mm_set1_epi32(k)), 8);
}
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i pack(__m128i low, __m128i high) { return _mm_packs_epi32(low, high); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i negated(__m128i a) { return _mm_sub_epi16(_mm_setzero_si128(), a); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i zero_like(__m128i) { return _mm_setzero_si128(); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i interleave_low(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i interleave_high(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE Terms terms(__m128i red, __m128i green, __m128i blue) { return {red, green, blue}; }
#ifdef VKT_COLOUR_WIDE
struct WideTerms {
  __m256i red, green, blue;  // sixteen 16-bit terms each
};
VKT_COLOUR_TARGET VKT_LANES_INLINE WideTerms terms(__m256i red, __m256i green, __m256i blue) {
  return {red, green, blue};
}
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i madd(__m256i a, int32_t k) {
  return _mm256_madd_epi16(a, _mm256_set1_epi32(k));
}
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i minus_shift8(__m256i a, int32_t k) {
  return _mm256_srai_epi32(_mm256_sub_epi32(a, _mm256_set1_epi32(k)), 8);
}
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i pack(__m256i low, __m256i high) { return _mm256_packs_epi32(low, high); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i negated(__m256i a) { return _mm256_sub_epi16(_mm256_setzero_si256(), a); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i zero_like(__m256i) { return _mm256_setzero_si256(); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i interleave_low(__m256i a, __m256i b) { return _mm256_unpacklo_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i interleave_high(__m256i a, __m256i b) { return _mm256_unpackhi_epi16(a, b); }
#endif

// The 16-bit operations of the one-pass triangle rows on each width.
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i add16(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i add16(__m128i a, int16_t k) { return _mm_add_epi16(a, _mm_set1_epi16(k)); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
VKT_COLOUR_TARGET VKT_LANES_INLINE __m128i times16(__m128i a, __m128i k) { return _mm_mullo_epi16(a, k); }
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
VKT_COLOUR_TARGET VKT_LANES_INLINE __m256i times16(__m256i a, __m256i k) { return _mm256_mullo_epi16(a, k); }
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

// The in-place sums (luma plus in_place_terms) of pixels whose luma, Cb
// and Cr samples lie in 0..255, on 16 bits: with c = 256 * sample,
//   red   (359 Cr - 45813) >> 8 = ((c + 8) * 359) >> 16 - 179,
//   blue  (454 Cb - 57937) >> 8 = ((c + 99) * 454) >> 16 - 227,
//   green (34806 - 88 Cb - 183 Cr) >> 8
//         = 135 - (44 Cb + 91 Cr + ((Cr + 9) >> 1)) >> 7,
// each exact over the whole sample range (the products unsigned, the
// green sum below 2^16).
template <typename Register>
struct PixelSums {
  Register red, green, blue;
};
// The factors of the green sum, made where the compiler cannot see their
// values: it would replace each product by several shifts and adds.
template <typename Register>
struct GreenFactors {
  Register cb, cr;
};
template <typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE GreenFactors<Register> green_factors() {
  GreenFactors<Register> factors;
  set16(factors.cb, 44);
  set16(factors.cr, 91);
  __asm__("" : "+x"(factors.cb), "+x"(factors.cr));
  return factors;
}
template <typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE PixelSums<Register> in_place_sums16(Register lum, Register cb, Register cr,
                                                                       const GreenFactors<Register>& factors) {
  const Register red = add16(high_product16(add16(shift_left16<8>(cr), 8), 359), -179);
  const Register blue = add16(high_product16(add16(shift_left16<8>(cb), 99), 454), -227);
  const Register green_sum =
      add16(add16(times16(cb, factors.cb), times16(cr, factors.cr)), shift_right16<1>(add16(cr, 9)));
  return {add16(lum, red), sub16(add16(lum, 135), shift_right16<7>(green_sum)), add16(lum, blue)};
}

// (a * ka + b * kb - offset) >> 8 for the 32-bit products of the (a, b)
// pairs of both halves of `pairs_low` and `pairs_high`, saturated to
// 16-bit terms; the negated sum where `negate` (green).
template <typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE Register term(Register pairs_low, Register pairs_high, int ka, int kb, int offset,
                                                 bool negate) {
  const int32_t constants = (kb << 16) | (ka & 0xFFFF);
  const Register terms =
      pack(minus_shift8(madd(pairs_low, constants), offset), minus_shift8(madd(pairs_high, constants), offset));
  return negate ? negated(terms) : terms;
}

// converter_terms for the Cb and Cr samples.
template <typename Register>
VKT_COLOUR_TARGET VKT_LANES_INLINE auto terms_of(Register cb, Register cr) {
  const Register zero = zero_like(cb);
  return terms(term(interleave_low(cr, zero), interleave_high(cr, zero), 359, 0, 45813, false),
               term(interleave_low(cb, cr), interleave_high(cb, cr), 88, 183, 34806, true),
               term(interleave_low(cb, zero), interleave_high(cb, zero), 454, 0, 57937, false));
}

// in_place_terms for eight Cb and Cr samples: the green term is the sum
// with its offset, shifted, where converter_terms shifts the negated sum.
VKT_COLOUR_TARGET VKT_LANES_INLINE Terms in_place_terms_of(__m128i cb, __m128i cr) {
  const __m128i zero = _mm_setzero_si128();
  return {term(_mm_unpacklo_epi16(cr, zero), _mm_unpackhi_epi16(cr, zero), 359, 0, 45813, false),
          term(_mm_unpacklo_epi16(cb, cr), _mm_unpackhi_epi16(cb, cr), -88, -183, -34806, false),
          term(_mm_unpacklo_epi16(cb, zero), _mm_unpackhi_epi16(cb, zero), 454, 0, 57937, false)};
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
