// Independent models of the decoder's fixed-point arithmetic, written from
// the formulas the decoder promises (dequantisation, the eight inverse
// transforms, the triangle filter and both colour conversions), so tests
// can demand the decoder's samples byte for byte. Deliberately plain: one
// statement per formula line, 64-bit intermediates wrapped to 32 bits where
// the decoder forms a product, no code shared with the decoder.
#pragma once
#include <algorithm>
#include <cstdint>

#include "coefficient_block.h"

namespace model {

using I = int64_t;

// A product or sum as the decoder forms it: in 32 bits.
inline I w32(I v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }
inline int16_t low16(I v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline int clamp255(I v) { return static_cast<int>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
inline int16_t sample(I level) { return static_cast<int16_t>(clamp255(level + 128)); }

inline void dequantise_fast(CoefficientBlock& b, const int16_t* table) {
  for (int k = 0; k < 64; ++k) b.coef[k] = low16((w32(I{b.coef[k]} * table[k]) + 64) >> 7);
}

inline void dequantise_precise(CoefficientBlock& b, const int16_t* table) {
  for (int k = 0; k < 64; ++k) b.coef[k] = low16(I{b.coef[k]} * table[k]);
}

// ---- fast kind: 15-bit products (a * K + 16384) >> 15
inline I mul15(I a, I k) { return w32(w32(a * k) + 16384) >> 15; }

// One 8-point fast butterfly on y[0..7]; out[0..7].
inline void aan8(const I y[8], I out[8]) {
  const I z13 = y[5] + y[3], z10 = y[5] - y[3], z11 = y[1] + y[7], z12 = y[1] - y[7];
  const I k = mul15(z10 - z12, 25080);
  const I t10 = mul15(z12, 35468) - k;
  const I t12 = k - mul15(z10, 85627);
  const I t7 = z11 + z13;
  const I t6 = t10 - t7;
  const I t5 = mul15(z11 - z13, 46341) - t6;
  const I t4 = t12 + t5;
  const I a10 = y[0] + y[4], a11 = y[0] - y[4], a13 = y[2] + y[6];
  const I a12 = mul15(y[2] - y[6], 46341) - a13;
  const I e0 = a10 + a13, e3 = a10 - a13, e1 = a11 + a12, e2 = a11 - a12;
  out[0] = e0 + t7, out[1] = e1 + t6, out[2] = e2 + t5, out[3] = e3 - t4;
  out[4] = e3 + t4, out[5] = e2 - t5, out[6] = e1 - t6, out[7] = e0 - t7;
}

inline int16_t fast_out(I v) { return sample(w32(v + 8) >> 4); }

inline void idct_fast_8x8(CoefficientBlock& b) {
  I y[8], out[8];
  for (int c = 0; c < 8; ++c) {
    for (int r = 0; r < 8; ++r) y[r] = b.coef[8 * r + c];
    aan8(y, out);
    for (int r = 0; r < 8; ++r) b.coef[8 * r + c] = low16(out[r]);
  }
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) y[c] = b.coef[8 * r + c];
    aan8(y, out);
    for (int c = 0; c < 8; ++c) b.coef[8 * r + c] = fast_out(out[c]);
  }
}

// Four outputs top + O1, bot + O2, bot - O2, top - O1 of one line.
inline void aan4(const I y[8], I out[4]) {
  const I e = w32(w32((y[2] - y[6]) * 46341) + 16384) >> 15;
  const I half = e / 2;  // C++ division truncates toward zero
  const I top = y[0] + half, bot = y[0] - half;
  const I a = y[5] - y[3], b = y[1] - y[7];
  const I o1 = w32(w32(b * 60548) - w32(a * 25080) + 32768) >> 16;
  const I o2 = w32(w32(a * 60547) + w32(b * 25080) + 32768) >> 16;
  out[0] = top + o1, out[1] = bot + o2, out[2] = bot - o2, out[3] = top - o1;
}

inline void idct_fast_4x4(CoefficientBlock& b) {
  I y[8], out[4];
  for (int c : {0, 1, 2, 3, 5, 6, 7}) {
    for (int r = 0; r < 8; ++r) y[r] = b.coef[8 * r + c];
    aan4(y, out);
    for (int r = 0; r < 4; ++r) b.coef[8 * r + c] = low16(out[r]);
  }
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 8; ++c) y[c] = b.coef[8 * r + c];
    aan4(y, out);
    for (int c = 0; c < 4; ++c) b.coef[8 * r + c] = fast_out(out[c]);
  }
}

inline I aan2_odd(I y1, I y3, I y5, I y7) {
  return w32(w32((y1 - y7) * 85627) + w32((y5 - y3) * 35468) + 65536) >> 17;
}

inline void idct_fast_2x2(CoefficientBlock& b) {
  for (int c : {0, 1, 3, 5, 7}) {
    const I y0 = b.coef[c];
    const I o = aan2_odd(b.coef[8 + c], b.coef[24 + c], b.coef[40 + c], b.coef[56 + c]);
    b.coef[c] = low16(y0 + o);
    b.coef[8 + c] = low16(y0 - o);
  }
  for (int r = 0; r < 2; ++r) {
    int16_t* row = b.coef + 8 * r;
    const I o = aan2_odd(row[1], row[3], row[5], row[7]);
    const I r0 = row[0];
    row[0] = fast_out(r0 + o);
    row[1] = fast_out(r0 - o);
  }
}

inline void idct_fast_1x1(CoefficientBlock& b) {
  const I y0 = b.coef[0];
  b.coef[0] = static_cast<int16_t>(y0 < -2056 ? 0 : y0 >= 2040 ? 255 : ((y0 + 8) >> 4) + 128);
}

// ---- precise kind
// One 8-point pass; the outputs before their final rounding shift.
inline void islow8(const I x[8], I v[8]) {
  const I h = w32(x[7] * 6393 + x[1] * 32138), f = w32(x[1] * 6393 - x[7] * 32138);
  const I l = w32(x[5] * 18205 + x[3] * 27246), g = w32(x[5] * 27246 - x[3] * 18205);
  const I t = w32((w32(h + l + 2048) >> 12) * 5793);
  const I s = w32((w32(f + g + 2048) >> 12) * 5793);
  const I m1 = h + f - l - g, m2 = h + g - l - f;
  const I u = w32((x[0] + x[4]) * 32768), r = w32((x[0] - x[4]) * 32768);
  const I w = w32(x[2] * 42813 + x[6] * 17734), bb = w32(x[2] * 17734 - x[6] * 42813);
  v[0] = u + w + t, v[7] = u + w - t, v[1] = r + bb + m1, v[6] = r + bb - m1;
  v[2] = r - bb + m2, v[5] = r - bb - m2, v[3] = u - w + s, v[4] = u - w - s;
}

inline void idct_precise_8x8(CoefficientBlock& b) {
  I work[64], x[8], v[8];
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) x[c] = b.coef[8 * r + c];
    islow8(x, v);
    for (int c = 0; c < 8; ++c) work[8 * r + c] = w32(v[c] + 2048) >> 12;
  }
  for (int c = 0; c < 8; ++c) {
    for (int r = 0; r < 8; ++r) x[r] = work[8 * r + c];
    islow8(x, v);
    for (int r = 0; r < 8; ++r) b.coef[8 * r + c] = sample(w32(v[r] + 1048576) >> 21);
  }
}

// Four-point precise line: rows/columns A + O2, Bv + O0, Bv - O0, A - O2
// with T0 = y0 * 16384; before the final shift.
inline void islow4(const I y[8], I v[4]) {
  const I t0 = w32(y[0] * 16384);
  const I t2 = w32(y[2] * 15137 - y[6] * 6270);
  const I a = t0 + t2, bv = t0 - t2;
  const I o0 = w32(y[5] * 11893 + y[1] * 8697 - y[3] * 17799 - y[7] * 1730);
  const I o2 = w32(y[3] * 7373 + y[1] * 20995 - y[5] * 4926 - y[7] * 4176);
  v[0] = a + o2, v[1] = bv + o0, v[2] = bv - o0, v[3] = a - o2;
}

inline void idct_precise_4x4(CoefficientBlock& b) {
  I work[32] = {}, y[8], v[4];
  for (int c : {0, 1, 2, 3, 5, 6, 7}) {
    for (int r = 0; r < 8; ++r) y[r] = b.coef[8 * r + c];
    const bool dc_only = !y[1] && !y[2] && !y[3] && !y[5] && !y[6] && !y[7];
    islow4(y, v);
    for (int r = 0; r < 4; ++r) work[8 * r + c] = dc_only ? y[0] * 4 : w32(v[r] + 2048) >> 12;
  }
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 8; ++c) y[c] = work[8 * r + c];
    const bool dc_only = !y[1] && !y[2] && !y[3] && !y[5] && !y[6] && !y[7];
    islow4(y, v);
    for (int c = 0; c < 4; ++c)
      b.coef[8 * r + c] = dc_only ? sample(w32(y[0] + 16) >> 5) : sample(w32(v[c] + 262144) >> 19);
  }
}

inline I islow2_odd(I y1, I y3, I y5, I y7) { return w32(y5 * 6967 + y1 * 29692 - y7 * 5906 - y3 * 10426); }

inline void idct_precise_2x2(CoefficientBlock& b) {
  I work[16] = {};
  for (int c : {0, 1, 3, 5, 7}) {
    const I y0 = b.coef[c], y1 = b.coef[8 + c], y3 = b.coef[24 + c], y5 = b.coef[40 + c], y7 = b.coef[56 + c];
    const bool dc_only = !y1 && !y3 && !y5 && !y7;
    const I o = islow2_odd(y1, y3, y5, y7);
    work[c] = dc_only ? y0 * 4 : w32(w32(y0 * 32768) + o + 4096) >> 13;
    work[8 + c] = dc_only ? y0 * 4 : w32(w32(y0 * 32768) - o + 4096) >> 13;
  }
  for (int r = 0; r < 2; ++r) {
    const I* x = work + 8 * r;
    const bool dc_only = !x[1] && !x[3] && !x[5] && !x[7];
    const I o = islow2_odd(x[1], x[3], x[5], x[7]);
    b.coef[8 * r] = dc_only ? sample(w32(x[0] + 16) >> 5) : sample(w32(w32(x[0] * 32768) + o + 524288) >> 20);
    b.coef[8 * r + 1] = dc_only ? sample(w32(x[0] + 16) >> 5) : sample(w32(w32(x[0] * 32768) - o + 524288) >> 20);
  }
}

inline void idct_precise_1x1(CoefficientBlock& b) {
  const I y0 = b.coef[0];
  b.coef[0] = static_cast<int16_t>(y0 < -1028 ? 0 : y0 >= 1020 ? 255 : ((y0 + 4) >> 3) + 128);
}

// ---- colour conversion; red, green, blue of one pixel
struct Rgb {
  int r, g, b;
};

// The full-MCU converters: green term negated after the shift.
inline Rgb convert_fast(int y, int cb, int cr) {
  return {clamp255(y + ((359 * cr - 45813) >> 8)), clamp255(y - ((88 * cb + 183 * cr - 34806) >> 8)),
          clamp255(y + ((454 * cb - 57937) >> 8))};
}

// The conversion in place: the shift applies to the negated green sum.
inline Rgb convert_in_place(int y, int cb, int cr) {
  return {clamp255(y + ((359 * cr - 45813) >> 8)), clamp255(y + ((34806 - 88 * cb - 183 * cr) >> 8)),
          clamp255(y + ((454 * cb - 57937) >> 8))};
}

// ---- triangle filter, horizontal: output pixels 2i and 2i + 1 of a row
// of chroma samples s[0..n-1], the edge samples repeated beyond the row.
inline int filter_h2v1(const uint8_t* s, int n, int x) {
  const int i = x / 2;
  if (x % 2 == 0) return (3 * s[i] + s[i == 0 ? 0 : i - 1] + 1) >> 2;
  return (3 * s[i] + s[std::min(i + 1, n - 1)] + 2) >> 2;
}

}  // namespace model
