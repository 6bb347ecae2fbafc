// The dequantisers once, over a register of 16-bit values: eight per step
// with SSE2 (__m128i), sixteen with AVX2 (__m256i). Included after the
// lanes header of the instruction set, whose VKT_LANES_TARGET the kernels
// take. The fast kind needs the full 32-bit product before its rounded
// shift, so the 16-bit halves of each product are joined; both kinds keep
// the low 16 bits of the result, as the portable members store them. The
// unpacks and the pack work within each 128-bit half, so the values come
// back in the order they were read.
#pragma once
#include <immintrin.h>

#include "coefficient_block.h"
#include "simd_target.h"

namespace vkt_dequantise {

VKT_TARGET_SSE2 VKT_LANES_INLINE void load(const int16_t* p, __m128i& v) {
  v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE void load(const int16_t* p, __m256i& v) {
  v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
VKT_TARGET_SSE2 VKT_LANES_INLINE void store(int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
VKT_TARGET_AVX2 VKT_LANES_INLINE void store(int16_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i multiply_low(__m128i a, __m128i b) { return _mm_mullo_epi16(a, b); }
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i multiply_low(__m256i a, __m256i b) { return _mm256_mullo_epi16(a, b); }

// (the 32-bit products of a and b + 64) >> 7, to 16 bits by their low halves.
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i scaled_products(__m128i a, __m128i b) {
  const __m128i low = _mm_mullo_epi16(a, b), high = _mm_mulhi_epi16(a, b), rounding = _mm_set1_epi32(64);
  const __m128i first = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(low, high), rounding), 7);
  const __m128i second = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(low, high), rounding), 7);
  // Sign-extend the low halves so that the saturating pack keeps them.
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(first, 16), 16), _mm_srai_epi32(_mm_slli_epi32(second, 16), 16));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i scaled_products(__m256i a, __m256i b) {
  const __m256i low = _mm256_mullo_epi16(a, b), high = _mm256_mulhi_epi16(a, b), rounding = _mm256_set1_epi32(64);
  const __m256i first = _mm256_srai_epi32(_mm256_add_epi32(_mm256_unpacklo_epi16(low, high), rounding), 7);
  const __m256i second = _mm256_srai_epi32(_mm256_add_epi32(_mm256_unpackhi_epi16(low, high), rounding), 7);
  return _mm256_packs_epi32(_mm256_srai_epi32(_mm256_slli_epi32(first, 16), 16),
                            _mm256_srai_epi32(_mm256_slli_epi32(second, 16), 16));
}

}  // namespace vkt_dequantise

namespace VKT_LANES_NAMESPACE {

// Fast kind: Y = (Y * T + 64) >> 7; precise kind: Y = Y * T (low 16 bits).
template <typename Words, bool kFast>
VKT_LANES_TARGET VKT_LANES_INLINE void dequantise_words(CoefficientBlock* block, const int16_t* table) {
  constexpr int kStep = static_cast<int>(sizeof(Words) / sizeof(int16_t));
#pragma GCC unroll 8
  for (int k = 0; k < 64; k += kStep) {
    Words c, q;
    vkt_dequantise::load(block->coef + k, c);
    vkt_dequantise::load(table + k, q);
    vkt_dequantise::store(block->coef + k, kFast ? vkt_dequantise::scaled_products(c, q)
                                                 : vkt_dequantise::multiply_low(c, q));
  }
}

}  // namespace VKT_LANES_NAMESPACE
