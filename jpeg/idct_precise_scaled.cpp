// Reduced-size precise inverse DCTs for reads scaled by 1/2, 1/4 and 1/8.
// Each output sample is the mean of the 2x2, 4x4 or 8x8 samples of the full
// 8x8 IDCT over its area, computed directly from the coefficients that
// survive the averaging (over two points the fourth harmonic cancels, over
// four points all even ones do). Columns go into a 32-bit workspace with
// 2 fraction bits, rows come out as samples. Constants are 13-bit fixed
// point; a column or row without AC terms takes the short way.
#include "idct.h"
#include "idct_arith.h"

namespace {

// Weight of each coefficient in the mean of two neighbouring outputs of the
// 1-D IDCT, relative to a DC weight of 2 (16384).
constexpr int32_t kMean2Even2 = 15137;  // 1.847759 = 2 cos(pi/8)
constexpr int32_t kMean2Even6 = 6270;   // 0.765367 = 2 sin(pi/8)
// Odd harmonics, first output pair: x1, x3, x5, x7.
constexpr int32_t kMean2First1 = 20995;  //  2.562915
constexpr int32_t kMean2First3 = 7373;   //  0.899976
constexpr int32_t kMean2First5 = 4926;   // -0.601345
constexpr int32_t kMean2First7 = 4176;   // -0.509796
// Odd harmonics, second output pair.
constexpr int32_t kMean2Second1 = 8697;   //  1.061594
constexpr int32_t kMean2Second3 = 17799;  // -2.172735
constexpr int32_t kMean2Second5 = 11893;  //  1.451775
constexpr int32_t kMean2Second7 = 1730;   // -0.211164
// Weight of each odd coefficient in the mean of four neighbouring outputs,
// relative to a DC weight of 4 (32768).
constexpr int32_t kMean4Odd1 = 29692;  //  3.624510
constexpr int32_t kMean4Odd3 = 10426;  // -1.272759
constexpr int32_t kMean4Odd5 = 6967;   //  0.850430
constexpr int32_t kMean4Odd7 = 5906;   // -0.720960

// Whether in[k * stride] is zero for the odd k.
template <typename Entry>
inline bool OddTermsZero(const Entry* in, int stride) {
  return (in[stride] | in[3 * stride] | in[5 * stride] | in[7 * stride]) == 0;
}

// The four outputs of in[k * stride], k = 0..7 except 4, times 2^14, not
// yet descaled.
template <typename Entry>
inline void Idct4(const Entry* in, int stride, Wrap32 v[4]) {
  const Wrap32 y0 = in[0], y1 = in[stride], y2 = in[2 * stride],
               y3 = in[3 * stride], y5 = in[5 * stride], y6 = in[6 * stride],
               y7 = in[7 * stride];
  const Wrap32 dc = y0 * 16384;
  const Wrap32 even = y2 * kMean2Even2 - y6 * kMean2Even6;
  const Wrap32 a = dc + even, b = dc - even;
  const Wrap32 odd0 = y1 * kMean2First1 + y3 * kMean2First3 -
                      y5 * kMean2First5 - y7 * kMean2First7;
  const Wrap32 odd1 = y1 * kMean2Second1 - y3 * kMean2Second3 +
                      y5 * kMean2Second5 - y7 * kMean2Second7;
  v[0] = a + odd0;
  v[1] = b + odd1;
  v[2] = b - odd1;
  v[3] = a - odd0;
}

// The odd part of the two outputs of in[k * stride], times 2^15.
template <typename Entry>
inline Wrap32 Odd2(const Entry* in, int stride) {
  const Wrap32 y1 = in[stride], y3 = in[3 * stride], y5 = in[5 * stride],
               y7 = in[7 * stride];
  return y1 * kMean4Odd1 - y3 * kMean4Odd3 + y5 * kMean4Odd5 -
         y7 * kMean4Odd7;
}

// A workspace value with 2 fraction bits as a sample.
inline int16_t DcSample(Wrap32 w) { return ClampSample((w + 16) >> 5); }

// The columns that the row pass reads: column 4 only feeds the fourth
// harmonic of the rows, which cancels over two points; columns 2, 4 and 6
// only feed even harmonics, which cancel over four.
constexpr int kColumnsFor4x4[] = {0, 1, 2, 3, 5, 6, 7};
constexpr int kColumnsFor2x2[] = {0, 1, 3, 5, 7};

}  // namespace

void idct_precise_4x4(CoefficientBlock* block) {
  int16_t* const coef = block->coef;
  alignas(16) int32_t workspace[32];
  Wrap32 v[4] = {0, 0, 0, 0};
  for (int column : kColumnsFor4x4) {
    const int16_t* in = coef + column;
    if (OddTermsZero(in, 8) && (in[16] | in[48]) == 0) {
      for (int row = 0; row < 4; ++row) workspace[8 * row + column] = in[0] * 4;
      continue;
    }
    Idct4(in, 8, v);
    for (int row = 0; row < 4; ++row) {
      workspace[8 * row + column] = ((v[row] + 2048) >> 12).value();
    }
  }
  for (int row = 0; row < 4; ++row) {
    const int32_t* in = workspace + 8 * row;
    int16_t* const out = coef + 8 * row;
    if (OddTermsZero(in, 1) && (in[2] | in[6]) == 0) {
      const int16_t sample = DcSample(in[0]);
      for (int column = 0; column < 4; ++column) out[column] = sample;
      continue;
    }
    Idct4(in, 1, v);
    for (int column = 0; column < 4; ++column) {
      out[column] = ClampSample((v[column] + 262144) >> 19);
    }
  }
}

void idct_precise_2x2(CoefficientBlock* block) {
  int16_t* const coef = block->coef;
  alignas(16) int32_t workspace[16];
  for (int column : kColumnsFor2x2) {
    const int16_t* in = coef + column;
    if (OddTermsZero(in, 8)) {
      workspace[column] = workspace[8 + column] = in[0] * 4;
      continue;
    }
    const Wrap32 dc = Wrap32(in[0]) * 32768;
    const Wrap32 odd = Odd2(in, 8);
    workspace[column] = ((dc + odd + 4096) >> 13).value();
    workspace[8 + column] = ((dc - odd + 4096) >> 13).value();
  }
  for (int row = 0; row < 2; ++row) {
    const int32_t* in = workspace + 8 * row;
    int16_t* const out = coef + 8 * row;
    if (OddTermsZero(in, 1)) {
      out[0] = out[1] = DcSample(in[0]);
      continue;
    }
    const Wrap32 dc = Wrap32(in[0]) * 32768;
    const Wrap32 odd = Odd2(in, 1);
    out[0] = ClampSample((dc + odd + 524288) >> 20);
    out[1] = ClampSample((dc - odd + 524288) >> 20);
  }
}

void idct_precise_1x1(CoefficientBlock* block) { block->coef[0] = PreciseDcSample(block->coef[0]); }
