// The dequantisers once, over a register of 16-bit values: eight per step
// with SSE2 (__m128i), sixteen with AVX2 (__m256i). Included after the
// lanes header of the instruction set, whose VKT_LANES_TARGET the kernels
// take. Both kinds keep the low 16 bits of the result, as the portable
// members store them; for the fast kind's rounded shift those are bits
// 7..22 of each 32-bit product, which its two 16-bit halves give without
// widening: lane order never changes.
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

// (the 32-bit products of a and b + 64) >> 7, to 16 bits: the low half
// plus 64 gives bits 0..8, the high half, with the carry out of that
// addition (the low half's top bit lost), bits 9..15.
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i scaled_products(__m128i a, __m128i b) {
  const __m128i low = _mm_mullo_epi16(a, b), high = _mm_mulhi_epi16(a, b);
  const __m128i rounded = _mm_add_epi16(low, _mm_set1_epi16(64));
  const __m128i carry = _mm_srli_epi16(_mm_andnot_si128(rounded, low), 15);
  return _mm_or_si128(_mm_srli_epi16(rounded, 7), _mm_slli_epi16(_mm_add_epi16(high, carry), 9));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i scaled_products(__m256i a, __m256i b) {
  const __m256i low = _mm256_mullo_epi16(a, b), high = _mm256_mulhi_epi16(a, b);
  const __m256i rounded = _mm256_add_epi16(low, _mm256_set1_epi16(64));
  const __m256i carry = _mm256_srli_epi16(_mm256_andnot_si256(rounded, low), 15);
  return _mm256_or_si256(_mm256_srli_epi16(rounded, 7), _mm256_slli_epi16(_mm256_add_epi16(high, carry), 9));
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
