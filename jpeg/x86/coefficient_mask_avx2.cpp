// AVX2 member of the zigzag-order mask of a block's non-zero coefficients
// (zigzag_mask.h): the coefficients packed to bytes and compared with 0,
// then put in zigzag order by byte shuffles before one mask move per 32
// positions, where the portable route builds the natural-order mask and
// permutes its bits through eight table lookups.
//
// Packing rows 0-1 with 2-3 (and 4-5 with 6-7) leaves four 16-byte
// sources, each in both halves of a register: coefficients 0-7 and 16-23,
// 8-15 and 24-31, 32-39 and 48-55, 40-47 and 56-63. Each 32 zigzag
// positions are the OR of one shuffle of every source, whose index bytes
// pick the positions that source holds and zero the others.
#include <immintrin.h>

#include "entropy_tables.h"
#include "simd_target.h"
#include "x86_members.h"

namespace {

struct ShuffleIndices {
  alignas(32) uint8_t bytes[2][4][32];  // [32 zigzag positions][source]
};

constexpr ShuffleIndices make_indices() {
  ShuffleIndices indices{};
  for (int k = 0; k < 64; ++k) {
    const int natural = kZigzagToNatural[k], eighth = natural / 8;
    const int source = (eighth >> 2) * 2 + (eighth & 1), byte = ((eighth >> 1) & 1) * 8 + natural % 8;
    for (int s = 0; s < 4; ++s) indices.bytes[k / 32][s][k % 32] = s == source ? byte : 0x80;
  }
  return indices;
}

alignas(32) constinit const ShuffleIndices kIndices = make_indices();

}  // namespace

VKT_TARGET_AVX2 uint64_t zigzag_nonzero_mask_avx2(const CoefficientBlock& block) {
  __m256i rows[4];
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) rows[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block.coef + 16 * i));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = _mm256_cmpeq_epi8(_mm256_packs_epi16(rows[0], rows[1]), zero);
  const __m256i high = _mm256_cmpeq_epi8(_mm256_packs_epi16(rows[2], rows[3]), zero);
  const __m256i sources[4] = {_mm256_permute2x128_si256(low, low, 0x00), _mm256_permute2x128_si256(low, low, 0x11),
                              _mm256_permute2x128_si256(high, high, 0x00), _mm256_permute2x128_si256(high, high, 0x11)};
  uint64_t zeros = 0;
#pragma GCC unroll 2
  for (int half = 0; half < 2; ++half) {
    __m256i picked = zero;
#pragma GCC unroll 4
    for (int s = 0; s < 4; ++s) {
      const __m256i index = _mm256_load_si256(reinterpret_cast<const __m256i*>(kIndices.bytes[half][s]));
      picked = _mm256_or_si256(picked, _mm256_shuffle_epi8(sources[s], index));
    }
    zeros |= uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(picked))} << (32 * half);
  }
  return ~zeros;
}
