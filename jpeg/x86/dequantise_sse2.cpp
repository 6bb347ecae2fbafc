// SSE2 dequantisers, eight coefficients per step. The fast kind needs the
// full 32-bit product before its rounded shift, so the 16-bit halves of
// each product are joined; both kinds keep the low 16 bits of the result,
// as the portable members store them.
#include "simd_target.h"
#include "x86_members.h"

#include <immintrin.h>

VKT_TARGET_SSE2 void dequantise_fast_sse2(CoefficientBlock* block, const int16_t* table) {
  const __m128i rounding = _mm_set1_epi32(64);
  #pragma GCC unroll 8
  for (int k = 0; k < 64; k += 8) {
    __m128i* const place = reinterpret_cast<__m128i*>(block->coef + k);
    const __m128i c = _mm_load_si128(place);
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + k));
    const __m128i low = _mm_mullo_epi16(c, q), high = _mm_mulhi_epi16(c, q);
    __m128i first = _mm_srai_epi32(_mm_add_epi32(_mm_unpacklo_epi16(low, high), rounding), 7);
    __m128i second = _mm_srai_epi32(_mm_add_epi32(_mm_unpackhi_epi16(low, high), rounding), 7);
    // Sign-extend the low halves so that the saturating pack keeps them.
    first = _mm_srai_epi32(_mm_slli_epi32(first, 16), 16);
    second = _mm_srai_epi32(_mm_slli_epi32(second, 16), 16);
    _mm_store_si128(place, _mm_packs_epi32(first, second));
  }
}

VKT_TARGET_SSE2 void dequantise_precise_sse2(CoefficientBlock* block, const int16_t* table) {
  #pragma GCC unroll 8
  for (int k = 0; k < 64; k += 8) {
    __m128i* const place = reinterpret_cast<__m128i*>(block->coef + k);
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + k));
    _mm_store_si128(place, _mm_mullo_epi16(_mm_load_si128(place), q));
  }
}
