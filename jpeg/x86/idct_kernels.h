// The fast 8x8 inverse transform, and the precise one's line transform on
// 32-bit inputs, on eight 32-bit lanes: the same expressions as the
// portable members (idct_precise.cpp, idct_fast.cpp) with one lane per row
// or column, so every output is the portable member's byte for byte. Included once per instruction set
// after its lanes header, which names the namespace and target.
//
// Both passes of a transform read their eight inputs as vectors with one
// lane per line; a lane transpose turns the results of one pass into the
// inputs of the next.
#include <immintrin.h>

#include "coefficient_block.h"

namespace VKT_LANES_NAMESPACE {

VKT_LANES_TARGET VKT_LANES_INLINE void load_rows(const CoefficientBlock* block, Lanes x[8]) {
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) {
    x[row] = widen(_mm_load_si128(reinterpret_cast<const __m128i*>(block->coef + 8 * row)));
  }
}

// ClampSample of idct_arith.h on a row of eight lanes: saturating to 16
// bits keeps which side of -128..127 a value lies on.
VKT_LANES_TARGET VKT_LANES_INLINE void store_samples(Lanes v, int16_t* row) {
  __m128i s = narrow(v);
  s = _mm_min_epi16(_mm_max_epi16(s, _mm_set1_epi16(-128)), _mm_set1_epi16(127));
  _mm_store_si128(reinterpret_cast<__m128i*>(row), _mm_add_epi16(s, _mm_set1_epi16(128)));
}

// Idct8 of idct_precise.cpp from the odd part's rotations h, f, l, g and
// the even part's terms u, r, w, b, however the members compute those.
VKT_LANES_TARGET VKT_LANES_INLINE void precise_idct8_outputs(Lanes h, Lanes f, Lanes l, Lanes g, Lanes u, Lanes r,
                                                             Lanes w, Lanes b, Lanes v[8]) {
  constexpr int32_t kSqrt2Descaled = 5793;
  const Lanes t = ((h + l + 2048) >> 12) * kSqrt2Descaled;
  const Lanes s = ((f + g + 2048) >> 12) * kSqrt2Descaled;
  const Lanes m1 = h + f - l - g, m2 = h + g - l - f;
  v[0] = u + w + t;
  v[7] = u + w - t;
  v[1] = r + b + m1;
  v[6] = r + b - m1;
  v[2] = r - b + m2;
  v[5] = r - b - m2;
  v[3] = u - w + s;
  v[4] = u - w - s;
}

// Idct8 of idct_precise.cpp.
VKT_LANES_TARGET VKT_LANES_INLINE void precise_idct8(const Lanes x[8], Lanes v[8]) {
  constexpr int32_t kC1 = 32138, kC3 = 27246, kC5 = 18205, kC7 = 6393;
  constexpr int32_t kSqrt2C2 = 42813, kSqrt2C6 = 17734;
  const Lanes h = x[7] * kC7 + x[1] * kC1, f = x[1] * kC7 - x[7] * kC1;
  const Lanes l = x[5] * kC5 + x[3] * kC3, g = x[5] * kC3 - x[3] * kC5;
  const Lanes u = (x[0] + x[4]) * 32768, r = (x[0] - x[4]) * 32768;
  const Lanes w = x[2] * kSqrt2C2 + x[6] * kSqrt2C6;
  const Lanes b = x[2] * kSqrt2C6 - x[6] * kSqrt2C2;
  precise_idct8_outputs(h, f, l, g, u, r, w, b, v);
}

// Mul15 of idct_fast.cpp.
VKT_LANES_TARGET VKT_LANES_INLINE Lanes mul15(Lanes a, int32_t k) { return (a * k + 16384) >> 15; }

// AanIdct8 of idct_fast.cpp.
VKT_LANES_TARGET VKT_LANES_INLINE void aan_idct8(const Lanes y[8], Lanes out[8]) {
  constexpr int32_t kSqrt2 = 46341, kTwoCos6 = 25080, kTwoCos2MinusCos6 = 35468, kTwoCos2PlusCos6 = 85627;
  const Lanes z13 = y[5] + y[3], z10 = y[5] - y[3], z11 = y[1] + y[7], z12 = y[1] - y[7];
  const Lanes shared = mul15(z10 - z12, kTwoCos6);
  const Lanes t10 = mul15(z12, kTwoCos2MinusCos6) - shared;
  const Lanes t12 = shared - mul15(z10, kTwoCos2PlusCos6);
  const Lanes t7 = z11 + z13;
  const Lanes t6 = t10 - t7;
  const Lanes t5 = mul15(z11 - z13, kSqrt2) - t6;
  const Lanes t4 = t12 + t5;
  const Lanes a10 = y[0] + y[4], a11 = y[0] - y[4], a13 = y[2] + y[6];
  const Lanes a12 = mul15(y[2] - y[6], kSqrt2) - a13;
  const Lanes e0 = a10 + a13, e3 = a10 - a13, e1 = a11 + a12, e2 = a11 - a12;
  out[0] = e0 + t7;
  out[1] = e1 + t6;
  out[2] = e2 + t5;
  out[3] = e3 - t4;
  out[4] = e3 + t4;
  out[5] = e2 - t5;
  out[6] = e1 - t6;
  out[7] = e0 - t7;
}

VKT_LANES_TARGET void idct_fast_8x8_lanes(CoefficientBlock* block) {
  Lanes y[8], out[8];
  load_rows(block, y);  // lane = column: the column pass
  aan_idct8(y, out);
  #pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) y[k] = low16(out[k]);
  transpose(y);  // lane = row: the row pass
  aan_idct8(y, out);
  #pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) out[k] = (out[k] + 8) >> 4;
  transpose(out);
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) store_samples(out[row], block->coef + 8 * row);
}

}  // namespace VKT_LANES_NAMESPACE
