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

}  // namespace

void fill_triangle_pairs_sse2(SideMembers& members) {
  members.triangle_2x2 = triangle_pairs_sse2<4, 8, 7>;
  members.triangle_2x1 = triangle_pairs_sse2<2, 1, 2>;
}
