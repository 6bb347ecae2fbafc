// AVX2 members of the inverse transforms, 8x8 and the reduced sizes: the
// shared kernels on one 256-bit register per line, and a precise 8x8
// transform of its own.
//
// The precise 8x8 member computes the expressions of the portable member
// (idct_precise.cpp) on eight 32-bit lanes, one line per lane, with every
// byte the same. The odd and even parts take their inputs as pairs: (x7,
// x1), (x5, x3), (x2, x6) and (x0, x4) side by side in each 32-bit lane,
// so each product pair is one multiply-add. Rather than transposing the
// block and then interleaving lines, the pairs are gathered straight from
// the rows: one byte shuffle puts a row's four pairs in order, and a 4x4
// transpose of 32-bit pairs within the 128-bit halves makes a vector of
// each pair with one lane per row. The row pass's lanes then hold rows 0,
// 2, 4, 6, 1, 3, 5, 7, which puts the even rows of the workspace in the
// low halves and the odd ones in the high halves: the column pass's pairs
// again come from one shuffle each and a few whole-half moves. The column
// pass has one lane per column, so its outputs are the block's rows.
//
// The workspace goes to the column pass in 16 bits when every value fits,
// as it does for the coefficients of any 8-bit picture; otherwise the
// column pass runs on the 32-bit workspace.
#include "lanes_avx2.h"
#include "idct_kernels.h"
#include "idct_scaled_kernels.h"
#include "x86_members.h"

namespace {

using vkt_avx2::Lanes;

// A 32-bit lane of (low, high) 16-bit factors for a multiply-add.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i factor_pair(int low, int high) {
  return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | (low & 0xFFFF)));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE Lanes products(__m256i pairs, int low, int high) {
  return {_mm256_madd_epi16(pairs, factor_pair(low, high))};
}

// Idct8 of idct_precise.cpp on the pairs p71 = (x7, x1), p53 = (x5, x3),
// p26 = (x2, x6), p04 = (x0, x4): exact, as 32-bit registers compute it
// (no product pair of 16-bit values by these constants leaves 32 bits).
VKT_TARGET_AVX2 VKT_LANES_INLINE void idct8_of_pairs(__m256i p71, __m256i p53, __m256i p26, __m256i p04, Lanes v[8]) {
  constexpr int kC1 = 32138, kC3 = 27246, kC5 = 18205, kC7 = 6393;
  // sqrt(2) c2 = 42813 does not fit 16 bits: 42813 - 2^16 here, and the
  // 2^16 multiple added on its own.
  constexpr int kSqrt2C2Low = 42813 - 65536, kSqrt2C6 = 17734, kSqrt2Descaled = 5793;
  const Lanes h = products(p71, kC7, kC1), f = products(p71, -kC1, kC7);
  const Lanes l = products(p53, kC5, kC3), g = products(p53, kC3, -kC5);
  const Lanes t = ((h + l + 2048) >> 12) * kSqrt2Descaled;
  const Lanes s = ((f + g + 2048) >> 12) * kSqrt2Descaled;
  const Lanes m1 = (h + f) - (l + g), m2 = (h + g) - (l + f);
  const Lanes u = products(p04, 1, 1) << 15, r = products(p04, 1, -1) << 15;
  const Lanes x2_high = {_mm256_slli_epi32(p26, 16)};                        // x2 * 2^16
  const Lanes x6_high = {_mm256_and_si256(p26, _mm256_set1_epi32(-65536))};  // x6 * 2^16
  const Lanes w = products(p26, kSqrt2C2Low, kSqrt2C6) + x2_high;
  const Lanes b = products(p26, kSqrt2C6, -kSqrt2C2Low) - x6_high;
  v[0] = u + w + t;
  v[7] = u + w - t;
  v[1] = r + b + m1;
  v[6] = r + b - m1;
  v[2] = r - b + m2;
  v[5] = r - b - m2;
  v[3] = u - w + s;
  v[4] = u - w - s;
}

// 16-bit lanes 0..7 of each 128-bit half picked by byte pairs.
#define VKT_WORDS(a, b, c, d, e, f, g, h) \
  2 * (a), 2 * (a) + 1, 2 * (b), 2 * (b) + 1, 2 * (c), 2 * (c) + 1, 2 * (d), 2 * (d) + 1, 2 * (e), 2 * (e) + 1, \
      2 * (f), 2 * (f) + 1, 2 * (g), 2 * (g) + 1, 2 * (h), 2 * (h) + 1

// The row pass's pairs from the coefficient rows, two rows per vector
// (rows 2i and 2i + 1): each lane of the result holds a row's pair, the
// lanes in row order 0, 2, 4, 6, 1, 3, 5, 7.
VKT_TARGET_AVX2 VKT_LANES_INLINE void row_pairs(const __m256i rows[4], __m256i& p71, __m256i& p53, __m256i& p26,
                                                __m256i& p04) {
  const __m256i order = _mm256_setr_epi8(VKT_WORDS(7, 1, 5, 3, 2, 6, 0, 4), VKT_WORDS(7, 1, 5, 3, 2, 6, 0, 4));
  __m256i r[4];
  #pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) r[i] = _mm256_shuffle_epi8(rows[i], order);
  // Per half: a = (row 0's p71, row 2's p71, row 0's p53, row 2's p53)
  // and so on; the high halves hold rows 1 and 3 (5 and 7).
  const __m256i a = _mm256_unpacklo_epi32(r[0], r[1]), b = _mm256_unpackhi_epi32(r[0], r[1]);
  const __m256i c = _mm256_unpacklo_epi32(r[2], r[3]), d = _mm256_unpackhi_epi32(r[2], r[3]);
  p71 = _mm256_unpacklo_epi64(a, c);
  p53 = _mm256_unpackhi_epi64(a, c);
  p26 = _mm256_unpacklo_epi64(b, d);
  p04 = _mm256_unpackhi_epi64(b, d);
}

// The column pass's pairs from the row pass's outputs v[k] (column k of
// the workspace), each biased by 2^15 into 0..65535: one lane per column.
VKT_TARGET_AVX2 VKT_LANES_INLINE void column_pairs(const Lanes biased[8], __m256i& p71, __m256i& p53, __m256i& p26,
                                                   __m256i& p04) {
  // Two columns c, c + 1 packed: the low half holds rows 0, 2, 4, 6 of c
  // then of c + 1, the high half rows 1, 3, 5, 7. Shuffled to (p26 of c,
  // p26 of c + 1, p04 of c, p04 of c + 1) low, (p71, p71, p53, p53) high.
  const __m256i order = _mm256_setr_epi8(VKT_WORDS(1, 3, 5, 7, 0, 2, 4, 6), VKT_WORDS(3, 0, 7, 4, 2, 1, 6, 5));
  const __m256i unbias = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
  __m256i q[4];
  #pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    q[i] = _mm256_packus_epi32(biased[2 * i].v, biased[2 * i + 1].v);
    q[i] = _mm256_xor_si256(_mm256_shuffle_epi8(q[i], order), unbias);
  }
  const __m256i even_low = _mm256_unpacklo_epi64(q[0], q[1]), even_high = _mm256_unpacklo_epi64(q[2], q[3]);
  const __m256i odd_low = _mm256_unpackhi_epi64(q[0], q[1]), odd_high = _mm256_unpackhi_epi64(q[2], q[3]);
  p26 = _mm256_permute2x128_si256(even_low, even_high, 0x20);
  p71 = _mm256_permute2x128_si256(even_low, even_high, 0x31);
  p04 = _mm256_permute2x128_si256(odd_low, odd_high, 0x20);
  p53 = _mm256_permute2x128_si256(odd_low, odd_high, 0x31);
}

#undef VKT_WORDS

// Rows k and k + 1 of samples: ClampSample((v + 2^20) >> 21).
VKT_TARGET_AVX2 VKT_LANES_INLINE void store_two_rows(Lanes upper, Lanes lower, int16_t* out) {
  const __m256i a = ((upper + (1 << 20)) >> 21).v, b = ((lower + (1 << 20)) >> 21).v;
  __m256i s = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
  s = _mm256_add_epi16(s, _mm256_set1_epi16(128));
  s = _mm256_min_epi16(_mm256_max_epi16(s, _mm256_setzero_si256()), _mm256_set1_epi16(255));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), s);
}

template <bool kDequantise>
VKT_TARGET_AVX2 VKT_LANES_INLINE void precise_8x8(CoefficientBlock* block, const int16_t* table) {
  __m256i rows[4];
  #pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    rows[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block->coef + 16 * i));
    // The low 16 bits of each product, as the precise dequantiser keeps them.
    if constexpr (kDequantise)
      rows[i] = _mm256_mullo_epi16(rows[i], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 16 * i)));
  }
  __m256i p71, p53, p26, p04;
  row_pairs(rows, p71, p53, p26, p04);
  Lanes v[8];
  idct8_of_pairs(p71, p53, p26, p04, v);
  // The workspace (v + 2^11) >> 12, plus 2^15: it fits 16 bits exactly when
  // every biased value lies in 0..65535. A sum that wraps past 2^31 on the
  // bias comes out negative, and so fails the test as it should.
  Lanes biased[8];
  __m256i any = _mm256_setzero_si256();
  #pragma GCC unroll 8
  for (int k = 0; k < 8; ++k) {
    biased[k] = (v[k] + (2048 + (1 << 27))) >> 12;
    any = _mm256_or_si256(any, biased[k].v);
  }
  if (_mm256_testz_si256(any, _mm256_set1_epi32(-65536))) {
    column_pairs(biased, p71, p53, p26, p04);
    idct8_of_pairs(p71, p53, p26, p04, v);
  } else {
    // Lane j of v[k] is workspace column k's row 2j (j < 4) or 2j - 7.
    Lanes x[8];
    #pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) x[k] = (v[k] + 2048) >> 12;
    vkt_avx2::transpose(x);
    constexpr int kLaneOfRow[8] = {0, 4, 1, 5, 2, 6, 3, 7};
    Lanes in[8];
    #pragma GCC unroll 8
    for (int row = 0; row < 8; ++row) in[row] = x[kLaneOfRow[row]];
    vkt_avx2::precise_idct8(in, v);
  }
  #pragma GCC unroll 4
  for (int row = 0; row < 8; row += 2) store_two_rows(v[row], v[row + 1], block->coef + 8 * row);
}

}  // namespace


VKT_TARGET_AVX2 void idct_precise_8x8_avx2(CoefficientBlock* block) { precise_8x8<false>(block, nullptr); }
VKT_TARGET_AVX2 void idct_precise_8x8_dequantised_avx2(CoefficientBlock* block, const int16_t* table) {
  precise_8x8<true>(block, table);
}
VKT_TARGET_AVX2 void idct_fast_8x8_avx2(CoefficientBlock* block) { vkt_avx2::idct_fast_8x8_lanes(block); }
VKT_TARGET_AVX2 void idct_precise_4x4_avx2(CoefficientBlock* block) { vkt_avx2::idct_precise_4x4_lanes(block); }
VKT_TARGET_AVX2 void idct_precise_2x2_avx2(CoefficientBlock* block) { vkt_avx2::idct_precise_2x2_lanes(block); }
VKT_TARGET_AVX2 void idct_fast_4x4_avx2(CoefficientBlock* block) { vkt_avx2::idct_fast_4x4_lanes(block); }
VKT_TARGET_AVX2 void idct_fast_2x2_avx2(CoefficientBlock* block) { vkt_avx2::idct_fast_2x2_lanes(block); }
