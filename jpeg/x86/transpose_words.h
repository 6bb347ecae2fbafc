// The 8x8 transpose of 16-bit lanes that the SSE2 precise transform and the
// AVX2 fast one share: eight 128-bit registers for one block, or eight
// 256-bit ones for two blocks side by side.
#pragma once
#include <immintrin.h>

#include "simd_target.h"

namespace vkt_words {

// The unpacks of 16-, 32- and 64-bit lanes, one 128-bit half at a time.
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i unpack_low(__m128i a, __m128i b, int bits) {
  return bits == 16 ? _mm_unpacklo_epi16(a, b) : (bits == 32 ? _mm_unpacklo_epi32(a, b) : _mm_unpacklo_epi64(a, b));
}
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i unpack_high(__m128i a, __m128i b, int bits) {
  return bits == 16 ? _mm_unpackhi_epi16(a, b) : (bits == 32 ? _mm_unpackhi_epi32(a, b) : _mm_unpackhi_epi64(a, b));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i unpack_low(__m256i a, __m256i b, int bits) {
  return bits == 16 ? _mm256_unpacklo_epi16(a, b)
                    : (bits == 32 ? _mm256_unpacklo_epi32(a, b) : _mm256_unpacklo_epi64(a, b));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i unpack_high(__m256i a, __m256i b, int bits) {
  return bits == 16 ? _mm256_unpackhi_epi16(a, b)
                    : (bits == 32 ? _mm256_unpackhi_epi32(a, b) : _mm256_unpackhi_epi64(a, b));
}

// Lane j of r[i] becomes lane i of column[j]; r and column may be the same.
// On 256-bit registers each 128-bit half is transposed on its own, so the
// halves may hold two blocks. One body for both widths: a template would
// lack the target that the AVX2 unpacks need to be inlined.
#define VKT_TRANSPOSE16(kTarget, Words)                                \
  kTarget VKT_LANES_INLINE void transpose16(const Words r[8], Words column[8]) { \
    Words a[8], b[8];                                                  \
    _Pragma("GCC unroll 8") for (int i = 0; i < 8; i += 2) {           \
      a[i] = unpack_low(r[i], r[i + 1], 16);                           \
      a[i + 1] = unpack_high(r[i], r[i + 1], 16);                      \
    }                                                                  \
    _Pragma("GCC unroll 8") for (int i = 0; i < 8; i += 4) {           \
      b[i] = unpack_low(a[i], a[i + 2], 32);                           \
      b[i + 1] = unpack_high(a[i], a[i + 2], 32);                      \
      b[i + 2] = unpack_low(a[i + 1], a[i + 3], 32);                   \
      b[i + 3] = unpack_high(a[i + 1], a[i + 3], 32);                  \
    }                                                                  \
    _Pragma("GCC unroll 8") for (int i = 0; i < 4; ++i) {              \
      column[2 * i] = unpack_low(b[i], b[i + 4], 64);                  \
      column[2 * i + 1] = unpack_high(b[i], b[i + 4], 64);             \
    }                                                                  \
  }
VKT_TRANSPOSE16(VKT_TARGET_SSE2, __m128i)
VKT_TRANSPOSE16(VKT_TARGET_AVX2, __m256i)
#undef VKT_TRANSPOSE16

}  // namespace vkt_words
