// The 8x8 transpose of 16-bit lanes that the SSE2 precise transform and the
// AVX2 fast one share (eight 128-bit registers, SSE2 instructions, which
// the AVX2 members inline as their VEX forms).
#pragma once
#include <immintrin.h>

#include "simd_target.h"

namespace vkt_words {

// Lane j of r[i] becomes lane i of column[j]; r and column may be the same.
VKT_TARGET_SSE2 VKT_LANES_INLINE void transpose16(const __m128i r[8], __m128i column[8]) {
  __m128i a[8], b[8];
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 2) {
    a[i] = _mm_unpacklo_epi16(r[i], r[i + 1]);
    a[i + 1] = _mm_unpackhi_epi16(r[i], r[i + 1]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 4) {
    b[i] = _mm_unpacklo_epi32(a[i], a[i + 2]);
    b[i + 1] = _mm_unpackhi_epi32(a[i], a[i + 2]);
    b[i + 2] = _mm_unpacklo_epi32(a[i + 1], a[i + 3]);
    b[i + 3] = _mm_unpackhi_epi32(a[i + 1], a[i + 3]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    column[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
    column[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
  }
}

}  // namespace vkt_words
