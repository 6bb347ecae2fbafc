// SSE2 members of the inverse transforms, 8x8 and the reduced sizes: the
// shared kernels on pairs of 128-bit registers. The precise 8x8 transform
// runs its row pass on 16-bit lines, and its column pass too when the
// workspace fits 16 bits.
#include "lanes_sse2.h"
#include "idct_kernels.h"
#include "idct_scaled_kernels.h"
#include "transpose_words.h"
#include "x86_members.h"

namespace vkt_sse2 {

using vkt_words::transpose16;

// Idct8 on 16-bit inputs x[k] (one lane per line): the pairs of products
// by 16-bit constants come from one multiply-add each, and the constants
// of 16 bits and more are split into 2^16 and the rest.
VKT_TARGET_SSE2 VKT_LANES_INLINE void precise_idct8_16(const __m128i x[8], Lanes v[8]) {
  constexpr int32_t kC1 = 32138, kC3 = 27246, kC5 = 18205, kC7 = 6393;
  constexpr int32_t kSqrt2C2Low = 42813 - 65536, kSqrt2C6 = 17734;
  const Lanes h = pair_products(x[7], x[1], kC7, kC1), f = pair_products(x[7], x[1], -kC1, kC7);
  const Lanes l = pair_products(x[5], x[3], kC5, kC3), g = pair_products(x[5], x[3], kC3, -kC5);
  const Lanes x0 = widen(x[0]), x4 = widen(x[4]);
  const Lanes u = (x0 + x4) << 15, r = (x0 - x4) << 15;
  const Lanes w = pair_products(x[2], x[6], kSqrt2C2Low, kSqrt2C6) + (widen(x[2]) << 16);
  const Lanes b = pair_products(x[2], x[6], kSqrt2C6, -kSqrt2C2Low) - (widen(x[6]) << 16);
  precise_idct8_outputs(h, f, l, g, u, r, w, b, v);
}

// The precise transform of the block whose coefficient rows are `rows`.
VKT_TARGET_SSE2 VKT_LANES_INLINE void precise_8x8_of_rows(__m128i rows[8], CoefficientBlock* block) {
  __m128i lines[8];
  transpose16(rows, lines);
  Lanes x[8], v[8];
  precise_idct8_16(lines, v);  // lane = row: the row pass
  #pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) x[k] = (v[k] + 2048) >> 12;
  // The column pass: from 16 bits where the workspace fits them, as it
  // does for any coefficients of 8-bit pictures; from 32 bits otherwise.
  if (fit_16_bits(x)) {
    #pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) rows[k] = narrow(x[k]);
    transpose16(rows, lines);
    precise_idct8_16(lines, v);
  } else {
    transpose(x);
    precise_idct8(x, v);
  }
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) store_samples((v[row] + (1 << 20)) >> 21, block->coef + 8 * row);
}

VKT_TARGET_SSE2 void idct_precise_8x8_lanes(CoefficientBlock* block) {
  __m128i rows[8];
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) rows[row] = _mm_load_si128(reinterpret_cast<const __m128i*>(block->coef + 8 * row));
  precise_8x8_of_rows(rows, block);
}

// Dequantised on the way in: the low 16 bits of each product, as the
// precise dequantiser keeps them.
VKT_TARGET_SSE2 void idct_precise_8x8_dequantised_lanes(CoefficientBlock* block, const int16_t* table) {
  __m128i rows[8];
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) {
    rows[row] = _mm_mullo_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(block->coef + 8 * row)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 8 * row)));
  }
  precise_8x8_of_rows(rows, block);
}

}  // namespace vkt_sse2

VKT_TARGET_SSE2 void idct_precise_8x8_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_8x8_lanes(block); }
VKT_TARGET_SSE2 void idct_precise_8x8_dequantised_sse2(CoefficientBlock* block, const int16_t* table) {
  vkt_sse2::idct_precise_8x8_dequantised_lanes(block, table);
}
VKT_TARGET_SSE2 void idct_fast_8x8_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_8x8_lanes(block); }
VKT_TARGET_SSE2 void idct_precise_4x4_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_4x4_lanes(block); }
VKT_TARGET_SSE2 void idct_precise_2x2_sse2(CoefficientBlock* block) { vkt_sse2::idct_precise_2x2_lanes(block); }
VKT_TARGET_SSE2 void idct_fast_4x4_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_4x4_lanes(block); }
VKT_TARGET_SSE2 void idct_fast_2x2_sse2(CoefficientBlock* block) { vkt_sse2::idct_fast_2x2_lanes(block); }
