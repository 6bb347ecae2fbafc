// SSE2 members of the triangle filter's pixel pairs (side members): eight
// chroma columns per step, 16-bit lanes (the sums stay below 4096), the
// left and right pixels interleaved into sixteen outputs. The columns
// short of a step take the portable expressions.
#include <immintrin.h>

#include "jpeg_ops.h"
#include "simd_target.h"
#include "upsample_filter.h"
#include "x86_members.h"

namespace {

template <int kShift, int kLeftRound, int kRightRound>
VKT_TARGET_SSE2 void triangle_pairs_sse2(const int16_t* terms, int16_t* out, int count) {
  int k = 0;
  const __m128i left_round = _mm_set1_epi16(kLeftRound), right_round = _mm_set1_epi16(kRightRound);
  for (; k + 8 <= count; k += 8) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms + k));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms + k - 1));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(terms + k + 1));
    const __m128i three = _mm_add_epi16(_mm_add_epi16(here, here), here);
    const __m128i left = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(three, before), left_round), kShift);
    const __m128i right = _mm_srai_epi16(_mm_add_epi16(_mm_add_epi16(three, after), right_round), kShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k), _mm_unpacklo_epi16(left, right));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k + 8), _mm_unpackhi_epi16(left, right));
  }
  triangle_pairs<kShift, kLeftRound, kRightRound>(terms + k, out + 2 * k, count - k);
}

// Sixteen column sums per step, the samples unpacked to 16 bits.
VKT_TARGET_SSE2 void triangle_terms_sse2(const uint8_t* row, const uint8_t* neighbour, int16_t* terms, int count) {
  const __m128i zero = _mm_setzero_si128();
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    const __m128i near = _mm_loadu_si128(reinterpret_cast<const __m128i*>(neighbour + i));
    const __m128i halves[2][2] = {{_mm_unpacklo_epi8(here, zero), _mm_unpacklo_epi8(near, zero)},
                                  {_mm_unpackhi_epi8(here, zero), _mm_unpackhi_epi8(near, zero)}};
#pragma GCC unroll 2
    for (int half = 0; half < 2; ++half) {
      const __m128i sample = halves[half][0];
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(sample, sample), sample), halves[half][1]);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(terms + i + 8 * half), sum);
    }
  }
  triangle_terms(row + i, neighbour + i, terms + i, count - i);
}

}  // namespace

void fill_triangle_pairs_sse2(SideMembers& members) {
  members.triangle_2x2 = triangle_pairs_sse2<4, 8, 7>;
  members.triangle_2x1 = triangle_pairs_sse2<2, 1, 2>;
  members.triangle_terms = triangle_terms_sse2;
}
