// Fast 8x8 inverse DCT: the Arai-Agui-Nakajima factorisation (Trans. IEICE
// E71(11), 1988; ITU-T T.81 A.3.3 computed with 5 multiplies per 8
// points). The AAN scale factors s(u) * s(v) were folded into the
// quantisation table, so the block holds 2 * F(u,v) * s(u) * s(v) and a DC
// value F comes out as F / 8 after the final shift by 4.
//
// Columns first, results kept as 16 bits in the block, then rows. The
// intermediates carry 4 fraction bits, so the 16-bit stores lose little;
// the price of speed is a rounding error of up to about one level.
#include "idct.h"
#include "idct_arith.h"

namespace {

// Multipliers in 15-bit fixed point.
constexpr int32_t kSqrt2 = 46341;             // 1.414214
constexpr int32_t kTwoCos6 = 25080;           // 0.765367 = 2c6
constexpr int32_t kTwoCos2MinusCos6 = 35468;  // 1.082392 = 2(c2 - c6)
constexpr int32_t kTwoCos2PlusCos6 = 85627;   // 2.613126 = 2(c2 + c6)
// (ck = cos(k * pi / 16))

// (a * k + 1/2) >> 15: one rounded fixed-point product.
inline Wrap32 Mul15(Wrap32 a, int32_t k) { return (a * k + 16384) >> 15; }

// One 8-point AAN inverse transform of in[0], in[stride], ..., in[7*stride].
inline void AanIdct8(const int16_t* in, int stride, Wrap32 out[8]) {
  const Wrap32 y0 = in[0], y1 = in[stride], y2 = in[2 * stride],
               y3 = in[3 * stride], y4 = in[4 * stride], y5 = in[5 * stride],
               y6 = in[6 * stride], y7 = in[7 * stride];

  // Odd part. The two rotations share one product by (z10 - z12).
  const Wrap32 z13 = y5 + y3, z10 = y5 - y3, z11 = y1 + y7, z12 = y1 - y7;
  const Wrap32 shared = Mul15(z10 - z12, kTwoCos6);
  const Wrap32 t10 = Mul15(z12, kTwoCos2MinusCos6) - shared;
  const Wrap32 t12 = shared - Mul15(z10, kTwoCos2PlusCos6);
  const Wrap32 t7 = z11 + z13;
  const Wrap32 t6 = t10 - t7;
  const Wrap32 t5 = Mul15(z11 - z13, kSqrt2) - t6;
  const Wrap32 t4 = t12 + t5;

  // Even part.
  const Wrap32 a10 = y0 + y4, a11 = y0 - y4, a13 = y2 + y6;
  const Wrap32 a12 = Mul15(y2 - y6, kSqrt2) - a13;
  const Wrap32 e0 = a10 + a13, e3 = a10 - a13, e1 = a11 + a12,
               e2 = a11 - a12;

  out[0] = e0 + t7;
  out[1] = e1 + t6;
  out[2] = e2 + t5;
  out[3] = e3 - t4;
  out[4] = e3 + t4;
  out[5] = e2 - t5;
  out[6] = e1 - t6;
  out[7] = e0 - t7;
}

}  // namespace

void idct_fast_8x8(CoefficientBlock* block) {
  int16_t* const coef = block->coef;
  Wrap32 out[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int column = 0; column < 8; ++column) {
    AanIdct8(coef + column, 8, out);
    for (int row = 0; row < 8; ++row) coef[8 * row + column] = out[row].low16();
  }
  for (int row = 0; row < 8; ++row) {
    int16_t* const line = coef + 8 * row;
    AanIdct8(line, 1, out);
    for (int column = 0; column < 8; ++column) {
      line[column] = ClampSample((out[column] + 8) >> 4);
    }
  }
}
