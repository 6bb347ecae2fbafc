// Eight 32-bit lanes as two SSE2 registers, with the operations the
// shared transform kernels use (idct_kernels.h). Arithmetic wraps as the
// 32-bit registers of the portable members do; SSE2 has no 32-bit low
// multiply, so it is built from two 32x32->64 products.
#pragma once
#include <immintrin.h>

#include <cstdint>

#include "simd_target.h"

#define VKT_LANES_TARGET VKT_TARGET_SSE2
#define VKT_LANES_NAMESPACE vkt_sse2

namespace vkt_sse2 {

struct Lanes {
  __m128i lo;  // lanes 0..3
  __m128i hi;  // lanes 4..7
};

VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator+(Lanes a, Lanes b) {
  return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)};
}
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator-(Lanes a, Lanes b) {
  return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)};
}
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator+(Lanes a, int32_t k) {
  const __m128i c = _mm_set1_epi32(k);
  return {_mm_add_epi32(a.lo, c), _mm_add_epi32(a.hi, c)};
}
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i multiply_low(__m128i a, __m128i k) {
  const __m128i even = _mm_mul_epu32(a, k);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(k, 32));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator*(Lanes a, int32_t k) {
  const __m128i c = _mm_set1_epi32(k);
  return {multiply_low(a.lo, c), multiply_low(a.hi, c)};
}
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator>>(Lanes a, int n) {
  return {_mm_srai_epi32(a.lo, n), _mm_srai_epi32(a.hi, n)};
}
// The low 16 bits of each lane, sign-extended (a 16-bit store and reload).
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes low16(Lanes a) {
  return {_mm_srai_epi32(_mm_slli_epi32(a.lo, 16), 16), _mm_srai_epi32(_mm_slli_epi32(a.hi, 16), 16)};
}
// Eight 16-bit values widened to the lanes.
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes widen(__m128i x) {
  return {_mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16), _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16)};
}
// a[i] * ka + b[i] * kb for eight 16-bit a and b, ka and kb 16-bit
// constants; exact, as 32-bit registers would compute it.
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes pair_products(__m128i a, __m128i b, int ka, int kb) {
  const __m128i k = _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(kb) << 16) | (ka & 0xFFFF)));
  return {_mm_madd_epi16(_mm_unpacklo_epi16(a, b), k), _mm_madd_epi16(_mm_unpackhi_epi16(a, b), k)};
}
// The lanes times 2^n (n < 32), wrapping.
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator<<(Lanes a, int n) {
  return {_mm_slli_epi32(a.lo, n), _mm_slli_epi32(a.hi, n)};
}
// Whether every lane of the eight vectors lies in -32768..32767.
VKT_TARGET_SSE2 VKT_LANES_INLINE bool fit_16_bits(const Lanes v[8]) {
  const __m128i bias = _mm_set1_epi32(0x8000);
  __m128i any = _mm_setzero_si128();
  #pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    any = _mm_or_si128(any, _mm_or_si128(_mm_add_epi32(v[i].lo, bias), _mm_add_epi32(v[i].hi, bias)));
  }
  return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(any, 16), _mm_setzero_si128())) == 0xFFFF;
}
// The lanes saturated to 16 bits.
VKT_TARGET_SSE2 VKT_LANES_INLINE __m128i narrow(Lanes a) { return _mm_packs_epi32(a.lo, a.hi); }

VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes operator|(Lanes a, Lanes b) {
  return {_mm_or_si128(a.lo, b.lo), _mm_or_si128(a.hi, b.hi)};
}
// All ones in the lanes that are zero, zero elsewhere.
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes zero_mask(Lanes a) {
  return {_mm_cmpeq_epi32(a.lo, _mm_setzero_si128()), _mm_cmpeq_epi32(a.hi, _mm_setzero_si128())};
}
// a in the lanes where mask is all ones, b elsewhere.
VKT_TARGET_SSE2 VKT_LANES_INLINE Lanes select(Lanes mask, Lanes a, Lanes b) {
  return {_mm_or_si128(_mm_and_si128(mask.lo, a.lo), _mm_andnot_si128(mask.lo, b.lo)),
          _mm_or_si128(_mm_and_si128(mask.hi, a.hi), _mm_andnot_si128(mask.hi, b.hi))};
}

VKT_TARGET_SSE2 VKT_LANES_INLINE void transpose4(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  const __m128i ab_lo = _mm_unpacklo_epi32(a, b), ab_hi = _mm_unpackhi_epi32(a, b);
  const __m128i cd_lo = _mm_unpacklo_epi32(c, d), cd_hi = _mm_unpackhi_epi32(c, d);
  a = _mm_unpacklo_epi64(ab_lo, cd_lo);
  b = _mm_unpackhi_epi64(ab_lo, cd_lo);
  c = _mm_unpacklo_epi64(ab_hi, cd_hi);
  d = _mm_unpackhi_epi64(ab_hi, cd_hi);
}
// Lane j of v[i] becomes lane i of v[j].
VKT_TARGET_SSE2 VKT_LANES_INLINE void transpose(Lanes v[8]) {
  transpose4(v[0].lo, v[1].lo, v[2].lo, v[3].lo);
  transpose4(v[4].hi, v[5].hi, v[6].hi, v[7].hi);
  transpose4(v[0].hi, v[1].hi, v[2].hi, v[3].hi);
  transpose4(v[4].lo, v[5].lo, v[6].lo, v[7].lo);
  #pragma GCC unroll 8
  for (int i = 0; i < 4; ++i) {
    const __m128i upper_right = v[i].hi;
    v[i].hi = v[i + 4].lo;
    v[i + 4].lo = upper_right;
  }
}

}  // namespace vkt_sse2
