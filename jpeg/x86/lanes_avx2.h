// Eight 32-bit lanes as one AVX2 register, with the operations the shared
// transform kernels use (idct_kernels.h). Arithmetic wraps as the 32-bit
// registers of the portable members do.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "simd_target.h"

#define VKT_LANES_TARGET VKT_TARGET_AVX2
#define VKT_LANES_NAMESPACE vkt_avx2

namespace vkt_avx2 {

struct Lanes {
  __m256i v;
};

VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator+(Lanes a, Lanes b) { return {_mm256_add_epi32(a.v, b.v)}; }
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator-(Lanes a, Lanes b) { return {_mm256_sub_epi32(a.v, b.v)}; }
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator+(Lanes a, int32_t k) {
  return {_mm256_add_epi32(a.v, _mm256_set1_epi32(k))};
}
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator*(Lanes a, int32_t k) {
  return {_mm256_mullo_epi32(a.v, _mm256_set1_epi32(k))};
}
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator>>(Lanes a, int n) { return {_mm256_srai_epi32(a.v, n)}; }
// The low 16 bits of each lane, sign-extended (a 16-bit store and reload).
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes low16(Lanes a) {
  return {_mm256_srai_epi32(_mm256_slli_epi32(a.v, 16), 16)};
}
// Eight 16-bit values widened to the lanes.
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes widen(__m128i x) { return {_mm256_cvtepi16_epi32(x)}; }
// The lanes times 2^n (n < 32), wrapping.
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator<<(Lanes a, int n) { return {_mm256_slli_epi32(a.v, n)}; }
// The lanes saturated to 16 bits.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i narrow(Lanes a) {
  return _mm_packs_epi32(_mm256_castsi256_si128(a.v), _mm256_extracti128_si256(a.v, 1));
}

VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes operator|(Lanes a, Lanes b) { return {_mm256_or_si256(a.v, b.v)}; }
// All ones in the lanes that are zero, zero elsewhere.
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes zero_mask(Lanes a) {
  return {_mm256_cmpeq_epi32(a.v, _mm256_setzero_si256())};
}
// a in the lanes where mask is all ones, b elsewhere.
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes select(Lanes mask, Lanes a, Lanes b) {
  return {_mm256_blendv_epi8(b.v, a.v, mask.v)};
}

// Lane j of v[i] becomes lane i of v[j].
VKT_TARGET_AVX2 VKT_LANES_INLINE void transpose(Lanes v[8]) {
  __m256i t[8], u[8];
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_epi32(v[i].v, v[i + 1].v);
    t[i + 1] = _mm256_unpackhi_epi32(v[i].v, v[i + 1].v);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
    u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
    u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
    u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
  }
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    v[i].v = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
    v[i + 4].v = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
  }
}

}  // namespace vkt_avx2
