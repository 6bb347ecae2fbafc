// Reduced-size fast inverse DCTs for reads scaled by 1/2, 1/4 and 1/8.
// Each output sample is the mean of the 2x2, 4x4 or 8x8 samples that the
// full AAN transform (idct_fast.cpp) would give for that area, computed
// directly from the coefficients that survive the averaging: over two
// points the fourth harmonic cancels, over four points all even ones do.
// Inputs carry the AAN scaling of dequantise_fast (2 * F * s(u) * s(v)).
#include "idct.h"
#include "idct_arith.h"

namespace {

// 1.414214 in 15-bit fixed point.
constexpr int32_t kSqrt2 = 46341;
// c2 = cos(2pi/16) = 0.923880 and c6 = 0.382683 in 16-bit fixed point; c2
// lies about half-way between two steps (60547.5), and the two output pairs
// of the 4-point transform take it once rounded up and once down.
constexpr int32_t kCos2Up = 60548;
constexpr int32_t kCos2Down = 60547;
constexpr int32_t kCos6 = 25080;
// The odd harmonics' means over four points, over s(1) and s(3), in 17-bit
// fixed point: 0.653281 and 0.270598.
constexpr int32_t kMean4Odd1 = 85627;
constexpr int32_t kMean4Odd3 = 35468;

// Four outputs from the entries in[k * stride], k = 0..7 except 4.
inline void AanIdct4(const int16_t* in, int stride, Wrap32 out[4]) {
  const Wrap32 y0 = in[0], y1 = in[stride], y2 = in[2 * stride],
               y3 = in[3 * stride], y5 = in[5 * stride], y6 = in[6 * stride],
               y7 = in[7 * stride];
  // (y2 - y6) * sqrt(2) / 2, the half truncated toward zero.
  const Wrap32 even = Wrap32((((y2 - y6) * kSqrt2 + 16384) >> 15).value() / 2);
  const Wrap32 top = y0 + even, bottom = y0 - even;
  const Wrap32 a = y5 - y3, b = y1 - y7;
  const Wrap32 odd1 = (b * kCos2Up - a * kCos6 + 32768) >> 16;
  const Wrap32 odd2 = (a * kCos2Down + b * kCos6 + 32768) >> 16;
  out[0] = top + odd1;
  out[1] = bottom + odd2;
  out[2] = bottom - odd2;
  out[3] = top - odd1;
}

// The odd part of the two outputs from in[k * stride], k = 1, 3, 5, 7.
inline Wrap32 AanOdd2(const int16_t* in, int stride) {
  const Wrap32 y1 = in[stride], y3 = in[3 * stride], y5 = in[5 * stride],
               y7 = in[7 * stride];
  return ((y1 - y7) * kMean4Odd1 + (y5 - y3) * kMean4Odd3 + 65536) >> 17;
}

// The columns that the row pass reads: column 4 only feeds the fourth
// harmonic of the rows, which cancels over two points; columns 2, 4 and 6
// only feed even harmonics, which cancel over four.
constexpr int kColumnsFor4x4[] = {0, 1, 2, 3, 5, 6, 7};
constexpr int kColumnsFor2x2[] = {0, 1, 3, 5, 7};

}  // namespace

void idct_fast_4x4(CoefficientBlock* block) {
  int16_t* const coef = block->coef;
  Wrap32 out[4] = {0, 0, 0, 0};
  for (int column : kColumnsFor4x4) {
    AanIdct4(coef + column, 8, out);
    for (int row = 0; row < 4; ++row) coef[8 * row + column] = out[row].low16();
  }
  for (int row = 0; row < 4; ++row) {
    int16_t* const line = coef + 8 * row;
    AanIdct4(line, 1, out);
    for (int column = 0; column < 4; ++column) {
      line[column] = ClampSample((out[column] + 8) >> 4);
    }
  }
}

void idct_fast_2x2(CoefficientBlock* block) {
  int16_t* const coef = block->coef;
  for (int column : kColumnsFor2x2) {
    const Wrap32 y0 = coef[column];
    const Wrap32 odd = AanOdd2(coef + column, 8);
    coef[column] = (y0 + odd).low16();
    coef[8 + column] = (y0 - odd).low16();
  }
  for (int row = 0; row < 2; ++row) {
    int16_t* const line = coef + 8 * row;
    const Wrap32 r0 = line[0];
    const Wrap32 odd = AanOdd2(line, 1);
    line[0] = ClampSample((r0 + odd + 8) >> 4);
    line[1] = ClampSample((r0 - odd + 8) >> 4);
  }
}

void idct_fast_1x1(CoefficientBlock* block) { block->coef[0] = FastDcSample(block->coef[0]); }
