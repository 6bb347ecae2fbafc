// Precise 8x8 inverse DCT (ITU-T T.81 A.3.3) in 32-bit integer arithmetic:
// a separable transform, rows into a 32-bit workspace, then columns back
// into the block as samples. Constants are 15-bit fixed point.
//
// Each pass computes 2 * sqrt(2) times the 1-D IDCT, so the two passes
// together scale by 8, which the final shift removes along with the
// fixed-point fractions. The odd part rotates (x1, x7) by pi/16 and
// (x5, x3) by 3pi/16; outputs 0, 7, 3 and 4 need the sums of the two
// rotations times sqrt(2), applied after a 12-bit descale so that the
// product stays within 32 bits.
#include "idct.h"
#include "idct_arith.h"

namespace {

// ck = cos(k * pi / 16) in 15-bit fixed point.
constexpr int32_t kC1 = 32138;
constexpr int32_t kC3 = 27246;
constexpr int32_t kC5 = 18205;
constexpr int32_t kC7 = 6393;
// sqrt(2) * c2 and sqrt(2) * c6 in 15-bit fixed point.
constexpr int32_t kSqrt2C2 = 42813;
constexpr int32_t kSqrt2C6 = 17734;
// sqrt(2) in 12-bit fixed point, applied after a 12-bit descale.
constexpr int32_t kSqrt2Descaled = 5793;

// Workspace descale: 15 fraction bits less 3, rounded; leaves 3 fraction
// bits on the rows for the column pass.
constexpr int kRowShift = 12;
// Output descale: 15 fraction bits, the 3 kept by the rows, and the
// factor 8 of the two passes.
constexpr int kColumnShift = 21;

// 2 * sqrt(2) times the 8-point IDCT of in[k * stride], in 15-bit fixed
// point and not yet descaled (the caller rounds and shifts).
template <typename Entry>
inline void Idct8(const Entry* in, int stride, Wrap32 v[8]) {
  const Wrap32 x0 = in[0], x1 = in[stride], x2 = in[2 * stride],
               x3 = in[3 * stride], x4 = in[4 * stride], x5 = in[5 * stride],
               x6 = in[6 * stride], x7 = in[7 * stride];

  // Odd part: the two rotations, then their butterflies.
  const Wrap32 h = x7 * kC7 + x1 * kC1, f = x1 * kC7 - x7 * kC1;
  const Wrap32 l = x5 * kC5 + x3 * kC3, g = x5 * kC3 - x3 * kC5;
  const Wrap32 t = ((h + l + 2048) >> 12) * kSqrt2Descaled;
  const Wrap32 s = ((f + g + 2048) >> 12) * kSqrt2Descaled;
  const Wrap32 m1 = h + f - l - g, m2 = h + g - l - f;

  // Even part.
  const Wrap32 u = (x0 + x4) * 32768, r = (x0 - x4) * 32768;
  const Wrap32 w = x2 * kSqrt2C2 + x6 * kSqrt2C6;
  const Wrap32 b = x2 * kSqrt2C6 - x6 * kSqrt2C2;

  v[0] = u + w + t;
  v[7] = u + w - t;
  v[1] = r + b + m1;
  v[6] = r + b - m1;
  v[2] = r - b + m2;
  v[5] = r - b - m2;
  v[3] = u - w + s;
  v[4] = u - w - s;
}

}  // namespace

void idct_precise_8x8(CoefficientBlock* block) {
  int16_t* const coef = block->coef;
  alignas(16) int32_t workspace[64];
  Wrap32 v[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int row = 0; row < 8; ++row) {
    Idct8(coef + 8 * row, 1, v);
    for (int column = 0; column < 8; ++column) {
      workspace[8 * row + column] =
          ((v[column] + (1 << (kRowShift - 1))) >> kRowShift).value();
    }
  }
  for (int column = 0; column < 8; ++column) {
    Idct8(workspace + column, 8, v);
    for (int row = 0; row < 8; ++row) {
      coef[8 * row + column] = ClampSample(
          (v[row] + (1 << (kColumnShift - 1))) >> kColumnShift);
    }
  }
}
