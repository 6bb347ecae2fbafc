// AVX2 dequantisers, sixteen coefficients per step: the SSE2 members'
// arithmetic on 256-bit registers. The unpacks and the pack work within
// each 128-bit half, so the halves come back in the order they were read.
#include "simd_target.h"
#include "x86_members.h"

#include <immintrin.h>

VKT_TARGET_AVX2 void dequantise_fast_avx2(CoefficientBlock* block, const int16_t* table) {
  const __m256i rounding = _mm256_set1_epi32(64);
  #pragma GCC unroll 4
  for (int k = 0; k < 64; k += 16) {
    __m256i* const place = reinterpret_cast<__m256i*>(block->coef + k);
    const __m256i c = _mm256_loadu_si256(place);
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + k));
    const __m256i low = _mm256_mullo_epi16(c, q), high = _mm256_mulhi_epi16(c, q);
    __m256i first = _mm256_srai_epi32(_mm256_add_epi32(_mm256_unpacklo_epi16(low, high), rounding), 7);
    __m256i second = _mm256_srai_epi32(_mm256_add_epi32(_mm256_unpackhi_epi16(low, high), rounding), 7);
    // Sign-extend the low halves so that the saturating pack keeps them.
    first = _mm256_srai_epi32(_mm256_slli_epi32(first, 16), 16);
    second = _mm256_srai_epi32(_mm256_slli_epi32(second, 16), 16);
    _mm256_storeu_si256(place, _mm256_packs_epi32(first, second));
  }
}

VKT_TARGET_AVX2 void dequantise_precise_avx2(CoefficientBlock* block, const int16_t* table) {
  #pragma GCC unroll 4
  for (int k = 0; k < 64; k += 16) {
    __m256i* const place = reinterpret_cast<__m256i*>(block->coef + k);
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + k));
    _mm256_storeu_si256(place, _mm256_mullo_epi16(_mm256_loadu_si256(place), q));
  }
}
