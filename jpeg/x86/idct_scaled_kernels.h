// The reduced-size inverse transforms of 1/2 and 1/4 reads (4x4 and 2x2,
// precise and fast) on eight 32-bit lanes: the same expressions as the
// portable members (idct_precise_scaled.cpp, idct_fast_scaled.cpp), so
// every output is theirs byte for byte. Included once per instruction set
// after idct_kernels.h.
//
// The column pass runs with one lane per column, the row pass, after a
// lane transpose, with one lane per row (the upper lanes idle). A row
// without AC terms, which the portable member takes the short way, is
// selected per lane: the short and the long way differ when a wrapped
// product would, for corrupt coefficients. Only the samples are written,
// as the output reads nothing else of the block.
#include <immintrin.h>

#include "coefficient_block.h"

namespace VKT_LANES_NAMESPACE {

// ClampSample of the lanes 0..n-1 of v into row[0..n-1] (n = 4 or 2).
VKT_LANES_TARGET VKT_LANES_INLINE void store_first_samples(Lanes v, int16_t* row, int n) {
  __m128i s = narrow(v);
  s = _mm_add_epi16(_mm_min_epi16(_mm_max_epi16(s, _mm_set1_epi16(-128)), _mm_set1_epi16(127)), _mm_set1_epi16(128));
  if (n == 4) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row), s);
  } else {
    const int32_t pair = _mm_cvtsi128_si32(s);
    __builtin_memcpy(row, &pair, sizeof pair);
  }
}

// The samples of the first n (4 or 2) lines of `lines` (one lane per row,
// the other lines zero) into the block's n x n corner.
VKT_LANES_TARGET VKT_LANES_INLINE void store_corner(Lanes lines[8], int n, CoefficientBlock* block) {
  transpose(lines);  // lane = column
  for (int row = 0; row < n; ++row) store_first_samples(lines[row], block->coef + 8 * row, n);
}

// Idct4 of idct_precise_scaled.cpp on x[0..7] (x[4] unused).
VKT_LANES_TARGET VKT_LANES_INLINE void precise_idct4(const Lanes x[8], Lanes v[4]) {
  const Lanes dc = x[0] * 16384;
  const Lanes even = x[2] * 15137 - x[6] * 6270;
  const Lanes a = dc + even, b = dc - even;
  const Lanes odd0 = x[1] * 20995 + x[3] * 7373 - x[5] * 4926 - x[7] * 4176;
  const Lanes odd1 = x[1] * 8697 - x[3] * 17799 + x[5] * 11893 - x[7] * 1730;
  v[0] = a + odd0;
  v[1] = b + odd1;
  v[2] = b - odd1;
  v[3] = a - odd0;
}

// Odd2 of idct_precise_scaled.cpp.
VKT_LANES_TARGET VKT_LANES_INLINE Lanes precise_odd2(const Lanes x[8]) {
  return x[1] * 29692 - x[3] * 10426 + x[5] * 6967 - x[7] * 5906;
}

VKT_LANES_TARGET void idct_precise_4x4_lanes(CoefficientBlock* block) {
  Lanes x[8], v[4];
  load_rows(block, x);  // lane = column
  precise_idct4(x, v);
  Lanes w[8]{};
  #pragma GCC unroll 4
  for (int row = 0; row < 4; ++row) w[row] = (v[row] + 2048) >> 12;
  transpose(w);  // lane = row
  precise_idct4(w, v);
  const Lanes no_ac = zero_mask(w[1] | w[2] | w[3] | w[5] | w[6] | w[7]);
  const Lanes dc_sample = (w[0] + 16) >> 5;
  Lanes out[8]{};
  #pragma GCC unroll 4
  for (int column = 0; column < 4; ++column) out[column] = select(no_ac, dc_sample, (v[column] + 262144) >> 19);
  store_corner(out, 4, block);
}

VKT_LANES_TARGET void idct_precise_2x2_lanes(CoefficientBlock* block) {
  Lanes x[8];
  load_rows(block, x);  // lane = column
  const Lanes dc = x[0] * 32768, odd = precise_odd2(x);
  Lanes w[8] = {(dc + odd + 4096) >> 13, (dc - odd + 4096) >> 13};
  transpose(w);  // lane = row
  const Lanes row_dc = w[0] * 32768, row_odd = precise_odd2(w);
  const Lanes no_ac = zero_mask(w[1] | w[3] | w[5] | w[7]);
  const Lanes dc_sample = (w[0] + 16) >> 5;
  Lanes out[8] = {select(no_ac, dc_sample, (row_dc + row_odd + 524288) >> 20),
                  select(no_ac, dc_sample, (row_dc - row_odd + 524288) >> 20)};
  store_corner(out, 2, block);
}

// AanIdct4 of idct_fast_scaled.cpp on y[0..7] (y[4] unused).
VKT_LANES_TARGET VKT_LANES_INLINE void aan_idct4(const Lanes y[8], Lanes out[4]) {
  const Lanes scaled = ((y[2] - y[6]) * 46341 + 16384) >> 15;
  const Lanes even = (scaled - (scaled >> 31)) >> 1;  // halved toward zero
  const Lanes top = y[0] + even, bottom = y[0] - even;
  const Lanes a = y[5] - y[3], b = y[1] - y[7];
  const Lanes odd1 = (b * 60548 - a * 25080 + 32768) >> 16;
  const Lanes odd2 = (a * 60547 + b * 25080 + 32768) >> 16;
  out[0] = top + odd1;
  out[1] = bottom + odd2;
  out[2] = bottom - odd2;
  out[3] = top - odd1;
}

// AanOdd2 of idct_fast_scaled.cpp.
VKT_LANES_TARGET VKT_LANES_INLINE Lanes aan_odd2(const Lanes y[8]) {
  return ((y[1] - y[7]) * 85627 + (y[5] - y[3]) * 35468 + 65536) >> 17;
}

VKT_LANES_TARGET void idct_fast_4x4_lanes(CoefficientBlock* block) {
  Lanes y[8], out[4];
  load_rows(block, y);  // lane = column
  aan_idct4(y, out);
  Lanes line[8]{};
  #pragma GCC unroll 4
  for (int row = 0; row < 4; ++row) line[row] = low16(out[row]);
  transpose(line);  // lane = row
  aan_idct4(line, out);
  Lanes samples[8]{};
  #pragma GCC unroll 4
  for (int column = 0; column < 4; ++column) samples[column] = (out[column] + 8) >> 4;
  store_corner(samples, 4, block);
}

VKT_LANES_TARGET void idct_fast_2x2_lanes(CoefficientBlock* block) {
  Lanes y[8];
  load_rows(block, y);  // lane = column
  const Lanes odd = aan_odd2(y);
  Lanes line[8] = {low16(y[0] + odd), low16(y[0] - odd)};
  transpose(line);  // lane = row
  const Lanes row_odd = aan_odd2(line);
  Lanes samples[8] = {(line[0] + row_odd + 8) >> 4, (line[0] - row_odd + 8) >> 4};
  store_corner(samples, 2, block);
}

}  // namespace VKT_LANES_NAMESPACE
