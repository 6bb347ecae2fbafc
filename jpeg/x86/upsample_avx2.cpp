// AVX2 members of the triangle filter's pixel pairs (side members): the
// SSE2 step on sixteen chroma columns at once. The interleave works within
// each 128-bit half, so the two halves are put back in column order before
// they are stored. The columns short of a step take the portable
// expressions.
#include <immintrin.h>

#include "jpeg_ops.h"
#include "simd_target.h"
#include "upsample_filter.h"
#include "x86_members.h"

namespace {

template <int kShift, int kLeftRound, int kRightRound>
VKT_TARGET_AVX2 void triangle_pairs_avx2(const int16_t* terms, int16_t* out, int count) {
  int k = 0;
  const __m256i left_round = _mm256_set1_epi16(kLeftRound), right_round = _mm256_set1_epi16(kRightRound);
  for (; k + 16 <= count; k += 16) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(terms + k));
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(terms + k - 1));
    const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(terms + k + 1));
    const __m256i three = _mm256_add_epi16(_mm256_add_epi16(here, here), here);
    const __m256i left = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(three, before), left_round), kShift);
    const __m256i right = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(three, after), right_round), kShift);
    // Columns 0-3 and 8-11, then 4-7 and 12-15.
    const __m256i low = _mm256_unpacklo_epi16(left, right), high = _mm256_unpackhi_epi16(left, right);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * k), _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * k + 16), _mm256_permute2x128_si256(low, high, 0x31));
  }
  triangle_pairs<kShift, kLeftRound, kRightRound>(terms + k, out + 2 * k, count - k);
}

VKT_TARGET_AVX2 VKT_LANES_INLINE __m256i widened(const uint8_t* samples) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples)));
}

// Thirty-two column sums per step, the samples widened to 16 bits.
VKT_TARGET_AVX2 void triangle_terms_avx2(const uint8_t* row, const uint8_t* neighbour, int16_t* terms, int count) {
  int i = 0;
  for (; i + 32 <= count; i += 32) {
#pragma GCC unroll 2
    for (int half = 0; half < 32; half += 16) {
      const __m256i here = widened(row + i + half);
      const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(_mm256_add_epi16(here, here), here),
                                           widened(neighbour + i + half));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(terms + i + half), sum);
    }
  }
  triangle_terms(row + i, neighbour + i, terms + i, count - i);
}

}  // namespace

void fill_triangle_pairs_avx2(SideMembers& members) {
  members.triangle_2x2 = triangle_pairs_avx2<4, 8, 7>;
  members.triangle_2x1 = triangle_pairs_avx2<2, 1, 2>;
  members.triangle_terms = triangle_terms_avx2;
}
