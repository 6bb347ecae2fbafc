// Chroma terms of the YCbCr converters on eight samples, SSE2: the
// arithmetic of converter_terms and in_place_terms (colour_convert.h) with
// the same shifts,
// computed in 32 bits and kept as 16-bit terms (exact for samples in
// 0..255). Shared by the SSE2 and AVX2 converters.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "simd_target.h"

namespace vkt_colour {

struct Terms {
  __m128i red, green, blue;  // eight 16-bit terms each
};

// 32-bit product pairs of (a, b) with the 16-bit constants (ka, kb).
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i pair_products(__m128i pairs, int ka, int kb) {
  return _mm_madd_epi16(pairs, _mm_set1_epi32((kb << 16) | (ka & 0xFFFF)));
}

// (products - offset) >> 8 for the 32-bit products of both halves of
// `pairs_low` and `pairs_high`, saturated to eight 16-bit terms; the
// negated sum where `negate` (green).
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i term(__m128i pairs_low, __m128i pairs_high, int ka, int kb, int offset,
                                              bool negate) {
  const __m128i low = _mm_srai_epi32(_mm_sub_epi32(pair_products(pairs_low, ka, kb), _mm_set1_epi32(offset)), 8);
  const __m128i high = _mm_srai_epi32(_mm_sub_epi32(pair_products(pairs_high, ka, kb), _mm_set1_epi32(offset)), 8);
  const __m128i terms = _mm_packs_epi32(low, high);
  return negate ? _mm_sub_epi16(_mm_setzero_si128(), terms) : terms;
}

// converter_terms for eight Cb and Cr samples.
VKT_TARGET_SSE2 VKT_LANES_INLINE Terms terms_of(__m128i cb, __m128i cr) {
  const __m128i zero = _mm_setzero_si128();
  return {term(_mm_unpacklo_epi16(cr, zero), _mm_unpackhi_epi16(cr, zero), 359, 0, 45813, false),
          term(_mm_unpacklo_epi16(cb, cr), _mm_unpackhi_epi16(cb, cr), 88, 183, 34806, true),
          term(_mm_unpacklo_epi16(cb, zero), _mm_unpackhi_epi16(cb, zero), 454, 0, 57937, false)};
}

// in_place_terms for eight Cb and Cr samples: the green term is the sum
// with its offset, shifted, where converter_terms shifts the negated sum.
VKT_TARGET_SSE2 VKT_LANES_INLINE Terms in_place_terms_of(__m128i cb, __m128i cr) {
  const __m128i zero = _mm_setzero_si128();
  return {term(_mm_unpacklo_epi16(cr, zero), _mm_unpackhi_epi16(cr, zero), 359, 0, 45813, false),
          term(_mm_unpacklo_epi16(cb, cr), _mm_unpackhi_epi16(cb, cr), -88, -183, -34806, false),
          term(_mm_unpacklo_epi16(cb, zero), _mm_unpackhi_epi16(cb, zero), 454, 0, 57937, false)};
}

// Each of eight terms twice: the terms of the pixels of luma block `block`
// (0 or 1) when two neighbouring pixels share a chroma sample.
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i spread(__m128i terms, int block) {
  return block == 0 ? _mm_unpacklo_epi16(terms, terms) : _mm_unpackhi_epi16(terms, terms);
}

VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i load8(const int16_t* p) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace vkt_colour
