// SSE2 member of the zigzag-order mask of a block's non-zero coefficients
// (zigzag_mask.h): the natural-order mask sixteen coefficients per step,
// packed to bytes (saturation never turns a non-zero value into 0),
// compared with 0 and gathered with one byte mask move, then permuted.
#include <immintrin.h>

#include "simd_target.h"
#include "x86_members.h"
#include "zigzag_mask.h"

VKT_TARGET_SSE2 uint64_t zigzag_nonzero_mask_sse2(const CoefficientBlock& block) {
  const __m128i zero = _mm_setzero_si128();
  uint64_t zeros = 0;
#pragma GCC unroll 4
  for (int part = 0; part < 4; ++part) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.coef + 16 * part));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.coef + 16 * part + 8));
    const int zero_bytes = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_packs_epi16(first, second), zero));
    zeros |= uint64_t{static_cast<uint16_t>(zero_bytes)} << (16 * part);
  }
  return zigzag_order_of(~zeros);
}
