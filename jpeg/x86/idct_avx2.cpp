// AVX2 members of the inverse transforms, 8x8 and the reduced sizes: the
// shared kernels on one 256-bit register per line, and precise transforms
// of their own at every size.
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
#include "dequantise_kernels.h"
#include "transpose_words.h"
#include "x86_members.h"

namespace {

using vkt_avx2::Lanes;

// A 32-bit lane of (low, high) 16-bit factors for a multiply-add.
constexpr int32_t pair_word(int low, int high) {
  return static_cast<int32_t>((static_cast<uint32_t>(high) << 16) | (low & 0xFFFF));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i factor_pair(int low, int high) {
  return _mm256_set1_epi32(pair_word(low, high));
}
// (low0, high0) in the lanes of the low half, (low1, high1) in the high half's.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i factor_halves(int low0, int high0, int low1, int high1) {
  const int32_t first = pair_word(low0, high0), second = pair_word(low1, high1);
  return _mm256_setr_epi32(first, first, first, first, second, second, second, second);
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
  constexpr int kSqrt2C2Low = 42813 - 65536, kSqrt2C6 = 17734;
  const Lanes h = products(p71, kC7, kC1), f = products(p71, -kC1, kC7);
  const Lanes l = products(p53, kC5, kC3), g = products(p53, kC3, -kC5);
  const Lanes u = products(p04, 1, 1) << 15, r = products(p04, 1, -1) << 15;
  const Lanes x2_high = {_mm256_slli_epi32(p26, 16)};                        // x2 * 2^16
  const Lanes x6_high = {_mm256_and_si256(p26, _mm256_set1_epi32(-65536))};  // x6 * 2^16
  const Lanes w = products(p26, kSqrt2C2Low, kSqrt2C6) + x2_high;
  const Lanes b = products(p26, kSqrt2C6, -kSqrt2C2Low) - x6_high;
  vkt_avx2::precise_idct8_outputs(h, f, l, g, u, r, w, b, v);
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

// Two vectors of biased workspace values (0..65535) packed to 16 bits,
// their words picked by `order` and the bias of 2^15 taken off.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i unbiased_words(Lanes first, Lanes second, __m256i order) {
  return _mm256_xor_si256(_mm256_shuffle_epi8(_mm256_packus_epi32(first.v, second.v), order),
                          _mm256_set1_epi16(static_cast<int16_t>(0x8000)));
}

// The column pass's pairs from the row pass's outputs v[k] (column k of
// the workspace), each biased by 2^15 into 0..65535: one lane per column.
VKT_TARGET_AVX2 VKT_LANES_INLINE void column_pairs(const Lanes biased[8], __m256i& p71, __m256i& p53, __m256i& p26,
                                                   __m256i& p04) {
  // Two columns c, c + 1 packed: the low half holds rows 0, 2, 4, 6 of c
  // then of c + 1, the high half rows 1, 3, 5, 7. Shuffled to (p26 of c,
  // p26 of c + 1, p04 of c, p04 of c + 1) low, (p71, p71, p53, p53) high.
  const __m256i order = _mm256_setr_epi8(VKT_WORDS(1, 3, 5, 7, 0, 2, 4, 6), VKT_WORDS(3, 0, 7, 4, 2, 1, 6, 5));
  __m256i q[4];
  #pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) q[i] = unbiased_words(biased[2 * i], biased[2 * i + 1], order);
  const __m256i even_low = _mm256_unpacklo_epi64(q[0], q[1]), even_high = _mm256_unpacklo_epi64(q[2], q[3]);
  const __m256i odd_low = _mm256_unpackhi_epi64(q[0], q[1]), odd_high = _mm256_unpackhi_epi64(q[2], q[3]);
  p26 = _mm256_permute2x128_si256(even_low, even_high, 0x20);
  p71 = _mm256_permute2x128_si256(even_low, even_high, 0x31);
  p04 = _mm256_permute2x128_si256(odd_low, odd_high, 0x20);
  p53 = _mm256_permute2x128_si256(odd_low, odd_high, 0x31);
}

// Rows k and k + 1 of samples: ClampSample((v + 2^20) >> 21).
VKT_TARGET_AVX2 VKT_LANES_INLINE void store_two_rows(Lanes upper, Lanes lower, int16_t* out) {
  const __m256i a = ((upper + (1 << 20)) >> 21).v, b = ((lower + (1 << 20)) >> 21).v;
  __m256i s = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
  s = _mm256_add_epi16(s, _mm256_set1_epi16(128));
  s = _mm256_min_epi16(_mm256_max_epi16(s, _mm256_setzero_si256()), _mm256_set1_epi16(255));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), s);
}

// Both passes of the precise transform: v[k] is output row k before its
// descaling, one lane per column.
template <bool kDequantise>
VKT_TARGET_AVX2 VKT_LANES_INLINE void precise_8x8_passes(const CoefficientBlock* block, const int16_t* table,
                                                         Lanes v[8]) {
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
}

template <bool kDequantise>
VKT_TARGET_AVX2 VKT_LANES_INLINE void precise_8x8(CoefficientBlock* block, const int16_t* table) {
  Lanes v[8];
  precise_8x8_passes<kDequantise>(block, table, v);
  #pragma GCC unroll 4
  for (int row = 0; row < 8; row += 2) store_two_rows(v[row], v[row + 1], block->coef + 8 * row);
}

// The same samples as bytes, row k at destination + k * row_stride: the
// words of store_two_rows, unpermuted, packed with unsigned saturation
// (which is its clamp), and their 4-byte halves put back in row order.
VKT_TARGET_AVX2 void precise_8x8_bytes(const CoefficientBlock* block, const int16_t* table, uint8_t* destination,
                                       ptrdiff_t row_stride) {
  Lanes v[8];
  precise_8x8_passes<true>(block, table, v);
  __m256i words[4];
  #pragma GCC unroll 4
  for (int k = 0; k < 4; ++k) {
    const __m256i a = ((v[2 * k] + (1 << 20)) >> 21).v, b = ((v[2 * k + 1] + (1 << 20)) >> 21).v;
    words[k] = _mm256_add_epi16(_mm256_packs_epi32(a, b), _mm256_set1_epi16(128));
  }
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  #pragma GCC unroll 2
  for (int half = 0; half < 2; ++half) {
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words[2 * half], words[2 * half + 1]), order);
    const __m128i low = _mm256_castsi256_si128(bytes), high = _mm256_extracti128_si256(bytes, 1);
    uint8_t* const out = destination + 4 * half * row_stride;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + row_stride), _mm_unpackhi_epi64(low, low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * row_stride), high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * row_stride), _mm_unpackhi_epi64(high, high));
  }
}

// The reduced transforms of 1/2 and 1/4 reads (idct_precise_scaled.cpp).
// Within a pass each output is a plain sum of products of the inputs, so
// a pass is a few multiply-adds of input pairs. The column pass has one
// lane per column; its outputs, the workspace rows, go on in 16 bits when
// they all fit (otherwise the shared 32-bit kernels run, from the block,
// which is still untouched), and the same pairs taken within each row
// give the row pass one lane per row. A row without AC terms needs no
// short way there: from 16-bit inputs the sum gives the portable member's
// DC sample.

// Row `row` of the block, dequantised (the low 16 bits of each product,
// as the precise dequantiser keeps them) when there is a table.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i coefficient_row(const CoefficientBlock* block, const int16_t* table, int row) {
  const __m128i coefficients = _mm_load_si128(reinterpret_cast<const __m128i*>(block->coef + 8 * row));
  if (table == nullptr) return coefficients;
  return _mm_mullo_epi16(coefficients, _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 8 * row)));
}
// Lane c: (a[c], b[c]), for the eight columns.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i column_pairs_of(__m128i a, __m128i b) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi16(a, b)), _mm_unpackhi_epi16(a, b), 1);
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i halves_summed(__m256i v) {
  return _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}
// ClampSample of eight 16-bit values.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i clamped_samples(__m128i s) {
  s = _mm_add_epi16(s, _mm_set1_epi16(128));
  return _mm_min_epi16(_mm_max_epi16(s, _mm_setzero_si128()), _mm_set1_epi16(255));
}
// Whether every lane of the biased workspace lies in 0..65535.
VKT_TARGET_AVX2 VKT_LANES_INLINE bool fits_16_bits(__m256i any) {
  return _mm256_testz_si256(any, _mm256_set1_epi32(-65536)) != 0;
}

// A row pass sum of precise_4x4 descaled: (sum + 2^18) >> 19.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i row_sample(__m128i sum) {
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(262144)), 19);
}

// With a table the block is dequantised first (precise_4x4_dequantised).
VKT_TARGET_AVX2 VKT_LANES_INLINE void precise_4x4(CoefficientBlock* block, const int16_t* table) {
  const __m256i p02 = column_pairs_of(coefficient_row(block, table, 0), coefficient_row(block, table, 2));
  const __m256i p64 = column_pairs_of(coefficient_row(block, table, 6), _mm_setzero_si128());
  const __m256i p13 = column_pairs_of(coefficient_row(block, table, 1), coefficient_row(block, table, 3));
  const __m256i p57 = column_pairs_of(coefficient_row(block, table, 5), coefficient_row(block, table, 7));
  // Idct4 down each column: the even part a and b, the odd parts.
  const Lanes a = products(p02, 16384, 15137) + products(p64, -6270, 0);
  const Lanes b = products(p02, 16384, -15137) + products(p64, 6270, 0);
  const Lanes odd0 = products(p13, 20995, 7373) + products(p57, -4926, -4176);
  const Lanes odd1 = products(p13, 8697, -17799) + products(p57, 11893, -1730);
  const Lanes v[4] = {a + odd0, b + odd1, b - odd1, a - odd0};
  // The workspace (v + 2^11) >> 12, biased by 2^15 as in precise_8x8.
  Lanes biased[4];
  #pragma GCC unroll 4
  for (int row = 0; row < 4; ++row) biased[row] = (v[row] + (2048 + (1 << 27))) >> 12;
  if (!fits_16_bits((biased[0] | biased[1] | biased[2] | biased[3]).v)) {
    if (table != nullptr) dequantise_precise_avx2(block, table);
    return vkt_avx2::idct_precise_4x4_lanes(block);
  }
  // Two workspace rows per vector, columns 0..3 of each in the low half and
  // 4..7 in the high half: shuffled to the pairs (c0, c2), (c1, c3) low and
  // (c6, c4), (c5, c7) high, each for one row and then the other.
  const __m256i order = _mm256_setr_epi8(VKT_WORDS(0, 2, 4, 6, 1, 3, 5, 7), VKT_WORDS(2, 0, 6, 4, 1, 3, 5, 7));
  const __m256i q01 = unbiased_words(biased[0], biased[1], order), q23 = unbiased_words(biased[2], biased[3], order);
  // Lane r of each half: row r's (c0, c2) low and (c6, c4) high; then
  // (c1, c3) and (c5, c7). The halves' sums are Idct4 along the rows.
  const __m256i even_pairs = _mm256_unpacklo_epi64(q01, q23), odd_pairs = _mm256_unpackhi_epi64(q01, q23);
  const __m128i row_a = halves_summed(_mm256_madd_epi16(even_pairs, factor_halves(16384, 15137, -6270, 0)));
  const __m128i row_b = halves_summed(_mm256_madd_epi16(even_pairs, factor_halves(16384, -15137, 6270, 0)));
  const __m128i row_odd0 = halves_summed(_mm256_madd_epi16(odd_pairs, factor_halves(20995, 7373, -4926, -4176)));
  const __m128i row_odd1 = halves_summed(_mm256_madd_epi16(odd_pairs, factor_halves(8697, -17799, 11893, -1730)));
  // Output column j of rows 0..3 in s_j: packed as (s0, s2) and (s1, s3),
  // then interleaved into rows.
  const __m128i even_columns =
      _mm_packs_epi32(row_sample(_mm_add_epi32(row_a, row_odd0)), row_sample(_mm_sub_epi32(row_b, row_odd1)));
  const __m128i odd_columns =
      _mm_packs_epi32(row_sample(_mm_add_epi32(row_b, row_odd1)), row_sample(_mm_sub_epi32(row_a, row_odd0)));
  const __m128i first = _mm_unpacklo_epi16(even_columns, odd_columns);
  const __m128i second = _mm_unpackhi_epi16(even_columns, odd_columns);
  const __m128i rows01 = clamped_samples(_mm_unpacklo_epi32(first, second));
  const __m128i rows23 = clamped_samples(_mm_unpackhi_epi32(first, second));
  int16_t* const out = block->coef;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), rows01);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 8), _mm_srli_si128(rows01, 8));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), rows23);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 24), _mm_srli_si128(rows23, 8));
}

VKT_TARGET_AVX2 VKT_LANES_INLINE void precise_2x2(CoefficientBlock* block, const int16_t* table) {
  const __m256i p13 = column_pairs_of(coefficient_row(block, table, 1), coefficient_row(block, table, 3));
  const __m256i p57 = column_pairs_of(coefficient_row(block, table, 5), coefficient_row(block, table, 7));
  // The DC term and Odd2 down each column; the workspace rows
  // (dc +- odd + 2^12) >> 13, biased by 2^15 as in precise_8x8.
  const Lanes dc = {_mm256_slli_epi32(_mm256_cvtepi16_epi32(coefficient_row(block, table, 0)), 15)};
  const Lanes odd = products(p13, 29692, -10426) + products(p57, 6967, -5906);
  const Lanes top = (dc + odd + (4096 + (1 << 28))) >> 13, bottom = (dc - odd + (4096 + (1 << 28))) >> 13;
  if (!fits_16_bits((top | bottom).v)) {
    if (table != nullptr) dequantise_precise_avx2(block, table);
    return vkt_avx2::idct_precise_2x2_lanes(block);
  }
  // Per half: rows 0 and 1's (c1, c3) and (c0, c2) low, (c5, c7) high; the
  // halves' sums are each row's Odd2 and 16384 times its DC term.
  const __m256i order = _mm256_setr_epi8(VKT_WORDS(1, 3, 5, 7, 0, 2, 4, 6), VKT_WORDS(1, 3, 5, 7, 0, 2, 4, 6));
  const __m256i pairs = unbiased_words(top, bottom, order);
  const int32_t odd13 = pair_word(29692, -10426), dc02 = pair_word(16384, 0), odd57 = pair_word(6967, -5906);
  const __m128i sums = halves_summed(
      _mm256_madd_epi16(pairs, _mm256_setr_epi32(odd13, odd13, dc02, dc02, odd57, odd57, 0, 0)));
  const __m128i row_dc = _mm_slli_epi32(_mm_shuffle_epi32(sums, _MM_SHUFFLE(3, 2, 3, 2)), 1);
  const __m128i rounding = _mm_set1_epi32(524288);
  const __m128i left = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(row_dc, sums), rounding), 20);
  const __m128i right = _mm_srai_epi32(_mm_add_epi32(_mm_sub_epi32(row_dc, sums), rounding), 20);
  const __m128i rows = _mm_unpacklo_epi32(left, right);  // row 0's two samples, then row 1's
  const __m128i samples = clamped_samples(_mm_packs_epi32(rows, rows));
  const int32_t row0 = _mm_cvtsi128_si32(samples), row1 = _mm_extract_epi32(samples, 1);
  __builtin_memcpy(block->coef, &row0, sizeof row0);
  __builtin_memcpy(block->coef + 8, &row1, sizeof row1);
}

#undef VKT_WORDS

// The fast 8x8 transform on 16-bit lanes, eight per 128-bit half, one lane per
// column and then per row: each pass's arithmetic is the portable member's
// wherever no value leaves 16 bits. Mul15 by k = 32768 m + r is then m a +
// mulhrs(a, r) exactly, since (a k + 2^14) >> 15 = m a + ((a r + 2^14) >> 15).
// The column pass keeps only the low 16 bits of its results, which sums
// that wrap still give; only Mul15's inputs must be whole, and they are at
// most four inputs summed, so inputs up to kFastColumnInputLimit suffice.
// The row pass's results are clamped, so none of its values may wrap: every
// value there is a sum of at most 11.4 times the largest input plus a few
// units of rounding, which stays below 2^15 - 8 for inputs up to
// kFastRowInputLimit. Blocks beyond either limit (corrupt data, never an
// 8-bit picture's ordinary coefficients) take the 32-bit lanes.
constexpr int16_t kFastColumnInputLimit = 8191;
constexpr int16_t kFastRowInputLimit = 2800;

// The 16-bit steps on one block (__m128i) or on two side by side (__m256i).
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i add(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i sub(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i mulhrs(__m128i a, int16_t k) { return _mm_mulhrs_epi16(a, _mm_set1_epi16(k)); }
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i mulhrs(__m256i a, int16_t k) {
  return _mm256_mulhrs_epi16(a, _mm256_set1_epi16(k));
}
// The larger of each unsigned lane of `largest` and the magnitude of v's.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m128i with_magnitude(__m128i largest, __m128i v) {
  return _mm_max_epu16(largest, _mm_abs_epi16(v));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i with_magnitude(__m256i largest, __m256i v) {
  return _mm256_max_epu16(largest, _mm256_abs_epi16(v));
}
VKT_TARGET_AVX2 VKT_LANES_INLINE bool none_above(__m128i largest, int16_t limit) {
  const __m128i above = _mm_subs_epu16(largest, _mm_set1_epi16(limit));
  return _mm_testz_si128(above, above) != 0;
}
VKT_TARGET_AVX2 VKT_LANES_INLINE bool none_above(__m256i largest, int16_t limit) {
  const __m256i above = _mm256_subs_epu16(largest, _mm256_set1_epi16(limit));
  return _mm256_testz_si256(above, above) != 0;
}

template <int32_t kFactor, typename Words>
VKT_TARGET_AVX2 VKT_LANES_INLINE Words mul15_words(Words a) {
  Words product = mulhrs(a, static_cast<int16_t>(kFactor & 32767));
  for (int32_t m = 0; m < (kFactor >> 15); ++m) product = add(product, a);
  return product;
}

// AanIdct8 of idct_fast.cpp on 16-bit lanes.
template <typename Words>
VKT_TARGET_AVX2 VKT_LANES_INLINE void aan_idct8_words(const Words y[8], Words out[8]) {
  const Words z13 = add(y[5], y[3]), z10 = sub(y[5], y[3]), z11 = add(y[1], y[7]), z12 = sub(y[1], y[7]);
  const Words shared = mul15_words<25080>(sub(z10, z12));
  const Words t10 = sub(mul15_words<35468>(z12), shared);
  const Words t12 = sub(shared, mul15_words<85627>(z10));
  const Words t7 = add(z11, z13);
  const Words t6 = sub(t10, t7);
  const Words t5 = sub(mul15_words<46341>(sub(z11, z13)), t6);
  const Words t4 = add(t12, t5);
  const Words a10 = add(y[0], y[4]), a11 = sub(y[0], y[4]), a13 = add(y[2], y[6]);
  const Words a12 = sub(mul15_words<46341>(sub(y[2], y[6])), a13);
  const Words e0 = add(a10, a13), e3 = sub(a10, a13), e1 = add(a11, a12), e2 = sub(a11, a12);
  out[0] = add(e0, t7);
  out[1] = add(e1, t6);
  out[2] = add(e2, t5);
  out[3] = sub(e3, t4);
  out[4] = add(e3, t4);
  out[5] = sub(e2, t5);
  out[6] = sub(e1, t6);
  out[7] = sub(e0, t7);
}

// Whether no lane of v[0..7] has a magnitude above `limit`.
template <typename Words>
VKT_TARGET_AVX2 VKT_LANES_INLINE bool within(const Words v[8], int16_t limit) {
  Words largest = with_magnitude(Words{}, v[0]);
  #pragma GCC unroll 7
  for (int k = 1; k < 8; ++k) largest = with_magnitude(largest, v[k]);
  return none_above(largest, limit);
}

// Both passes on y (the coefficients, dequantised), leaving the rows'
// unclamped values in y; false, with y spoilt, past a limit.
template <typename Words>
VKT_TARGET_AVX2 VKT_LANES_INLINE bool fast_passes(Words y[8]) {
  Words out[8];
  if (!within(y, kFastColumnInputLimit)) return false;
  aan_idct8_words(y, out);  // lane = column
  if (!within(out, kFastRowInputLimit)) return false;
  vkt_words::transpose16(out, out);
  aan_idct8_words(out, y);  // lane = row
  vkt_words::transpose16(y, y);
  return true;
}

// ClampSample((v + 8) >> 4) of each lane.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i clamped_samples(__m256i v) {
  const __m256i s = _mm256_srai_epi16(_mm256_add_epi16(v, _mm256_set1_epi16(8)), 4);
  return _mm256_add_epi16(_mm256_min_epi16(_mm256_max_epi16(s, _mm256_set1_epi16(-128)), _mm256_set1_epi16(127)),
                          _mm256_set1_epi16(128));
}

// The blocks past the 16-bit limits, which the blocks in memory still hold
// as they came: out of line, so the 16-bit path keeps its registers.
VKT_TARGET_AVX2 __attribute__((noinline)) void fast_8x8_in_lanes(CoefficientBlock* block, const int16_t* table) {
  if (table != nullptr) dequantise_fast_avx2(block, table);
  vkt_avx2::idct_fast_8x8_lanes(block);
}

// One block, eight lanes a register. With a table the block is dequantised
// first (fast kind), in registers.
VKT_TARGET_AVX2 VKT_LANES_INLINE void fast_8x8(CoefficientBlock* block, const int16_t* table) {
  __m128i y[8];
  __m256i rows[4];
  #pragma GCC unroll 4
  for (int row = 0; row < 8; row += 2) {
    rows[row / 2] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block->coef + 8 * row));
    if (table != nullptr)
      rows[row / 2] = vkt_dequantise::scaled_products(
          rows[row / 2], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 8 * row)));
    y[row] = _mm256_castsi256_si128(rows[row / 2]);
    y[row + 1] = _mm256_extracti128_si256(rows[row / 2], 1);
  }
  if (!fast_passes(y)) return fast_8x8_in_lanes(block, table);
  #pragma GCC unroll 4
  for (int row = 0; row < 8; row += 2) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(block->coef + 8 * row), clamped_samples(_mm256_set_m128i(y[row + 1], y[row])));
  }
}

// Row `row` of two blocks, one per 128-bit half.
VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i row_pair(const int16_t* low, const int16_t* high, int row) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high + 8 * row),
                             reinterpret_cast<const __m128i*>(low + 8 * row));
}

// Two blocks at once, `low` in the low 128-bit half of every register and
// `high` in the high one, each dequantised (fast kind) with its table:
// 256-bit instructions cost what 128-bit ones do, so a pair costs what one
// block does. Either block past a limit sends both to the 32-bit lanes,
// which give the same bytes.
VKT_TARGET_AVX2 VKT_LANES_INLINE void fast_8x8_pair(CoefficientBlock* low, const int16_t* low_table,
                                                    CoefficientBlock* high, const int16_t* high_table) {
  __m256i y[8];
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) {
    y[row] = vkt_dequantise::scaled_products(row_pair(low->coef, high->coef, row), row_pair(low_table, high_table, row));
  }
  if (!fast_passes(y)) {
    fast_8x8_in_lanes(low, low_table);
    fast_8x8_in_lanes(high, high_table);
    return;
  }
  #pragma GCC unroll 8
  for (int row = 0; row < 8; ++row) {
    _mm256_storeu2_m128i(reinterpret_cast<__m128i*>(high->coef + 8 * row),
                         reinterpret_cast<__m128i*>(low->coef + 8 * row), clamped_samples(y[row]));
  }
}

}  // namespace

VKT_TARGET_AVX2 void idct_precise_8x8_avx2(CoefficientBlock* block) { precise_8x8<false>(block, nullptr); }
VKT_TARGET_AVX2 void idct_precise_8x8_dequantised_avx2(CoefficientBlock* block, const int16_t* table) {
  precise_8x8<true>(block, table);
}
VKT_TARGET_AVX2 void idct_precise_8x8_bytes_avx2(CoefficientBlock* block, const int16_t* table, uint8_t* destination,
                                                 ptrdiff_t row_stride) {
  precise_8x8_bytes(block, table, destination, row_stride);
}
VKT_TARGET_AVX2 void idct_fast_8x8_avx2(CoefficientBlock* block) { fast_8x8(block, nullptr); }
VKT_TARGET_AVX2 void idct_fast_8x8_dequantised_avx2(CoefficientBlock* block, const int16_t* table) {
  fast_8x8(block, table);
}
VKT_TARGET_AVX2 void idct_fast_8x8_dequantised_pair_avx2(CoefficientBlock* first, const int16_t* first_table,
                                                         CoefficientBlock* second, const int16_t* second_table) {
  fast_8x8_pair(first, first_table, second, second_table);
}
VKT_TARGET_AVX2 void idct_precise_4x4_avx2(CoefficientBlock* block) { precise_4x4(block, nullptr); }
VKT_TARGET_AVX2 void idct_precise_4x4_dequantised_avx2(CoefficientBlock* block, const int16_t* table) {
  precise_4x4(block, table);
}
VKT_TARGET_AVX2 void idct_precise_2x2_avx2(CoefficientBlock* block) { precise_2x2(block, nullptr); }
VKT_TARGET_AVX2 void idct_precise_2x2_dequantised_avx2(CoefficientBlock* block, const int16_t* table) {
  precise_2x2(block, table);
}
VKT_TARGET_AVX2 void idct_fast_4x4_avx2(CoefficientBlock* block) { vkt_avx2::idct_fast_4x4_lanes(block); }
VKT_TARGET_AVX2 void idct_fast_2x2_avx2(CoefficientBlock* block) { vkt_avx2::idct_fast_2x2_lanes(block); }
