// Dequantisation and inverse DCT of one 8x8 block (ITU-T T.81 A.3.3),
// in two kinds that a read chooses between:
//
//  - precise: an unscaled separable integer IDCT with 32-bit intermediates;
//    its quantisation table is used as read;
//  - fast: the Arai-Agui-Nakajima IDCT with 16-bit intermediates, whose
//    per-coefficient scale factors are folded into the quantisation table
//    once, when the table is read.
//
// Each kind has outputs of 8x8, 4x4, 2x2 and 1x1 samples for reads scaled
// by 1, 1/2, 1/4 and 1/8. Every routine works in place on the block: the
// dequantiser turns quantised coefficients into the values its transform
// expects, the transform turns those into samples 0..255 in the top-left
// NxN entries (row-major with a stride of 8). The other entries are then
// meaningless. No routine reads or writes outside the block's 64 entries.
//
// The names without an instruction-set suffix are the portable members;
// processor-specific members of the same slot are named <name>_<isa>
// (idct_precise_8x8_sse2) and are installed through JpegOps.
#pragma once
#include <cstdint>
#include <cstring>

#include "coefficient_block.h"

// Signatures of the JpegOps slots that hold these routines.
using IdctFn = void (*)(CoefficientBlock* block);
using DequantiseFn = void (*)(CoefficientBlock* block,
                              const int16_t* preparedTable);
using PrepareQuantTableFn = void (*)(const uint16_t* zigzagQuantisers,
                                     int16_t* preparedTable);

// Table preparation, run once per DQT table. zigzagQuantisers holds the 64
// quantiser values Qk in zigzag order (8- or 16-bit precision alike);
// preparedTable receives kPreparedQuantEntries entries: 64 in natural order,
// then 16 zeros.
//
// Fast kind: entry(u,v) = round(256 * Q * s(u) * s(v)) with s(0) = 1 and
// s(k) = sqrt(2) * cos(k*pi/16), saturated at 32767.
void prepare_quant_table_fast(const uint16_t* zigzagQuantisers,
                              int16_t* preparedTable);
// Precise kind: entry = Q, unscaled (the low 16 bits of a 16-bit Q).
void prepare_quant_table_precise(const uint16_t* zigzagQuantisers,
                                 int16_t* preparedTable);

// Dequantisation with the component's prepared table.
// Fast: Y = (Y * T + 64) >> 7, i.e. 2 * F * s(u) * s(v) for coefficient F.
void dequantise_fast(CoefficientBlock* block, const int16_t* preparedTable);
// Precise: Y = low 16 bits of Y * T.
void dequantise_precise(CoefficientBlock* block, const int16_t* preparedTable);

// One coefficient of each: what the dequantisers (every member alike)
// store for it. A 1x1 transform reads the DC value only, so reads at 1/8
// dequantise that one alone.
inline int16_t dequantised_fast(int16_t coefficient, int16_t prepared) {
  return static_cast<int16_t>((int32_t{coefficient} * prepared + 64) >> 7);
}
inline int16_t dequantised_precise(int16_t coefficient, int16_t prepared) {
  return static_cast<int16_t>(int32_t{coefficient} * prepared);
}

// Inverse transforms of blocks dequantised by the matching kind.
void idct_fast_8x8(CoefficientBlock* block);
void idct_fast_4x4(CoefficientBlock* block);
void idct_fast_2x2(CoefficientBlock* block);
void idct_fast_1x1(CoefficientBlock* block);

void idct_precise_8x8(CoefficientBlock* block);
// dequantise_precise, then idct_precise_8x8: the portable twin of the
// processor-specific members that do both in one pass.
void idct_precise_8x8_dequantised(CoefficientBlock* block, const int16_t* preparedTable);
void idct_fast_8x8_dequantised(CoefficientBlock* block, const int16_t* preparedTable);
void idct_precise_4x4(CoefficientBlock* block);
// The same twins of the reduced sizes.
void idct_precise_4x4_dequantised(CoefficientBlock* block, const int16_t* preparedTable);
void idct_precise_2x2_dequantised(CoefficientBlock* block, const int16_t* preparedTable);
void idct_precise_2x2(CoefficientBlock* block);
void idct_precise_1x1(CoefficientBlock* block);

// Blocks without AC terms (flat areas, most chroma blocks) need no
// transform: at every size, and in both kinds, such a block's samples all
// equal what the kind's 1x1 member makes of its DC value, as long as the
// dequantised DC value lies within +-kDcAloneLimit (beyond it the precise
// 8x8 member's 32-bit products wrap; no valid stream gets near it).
constexpr int kDcAloneLimit = 4096;

// Whether coefficients 1..63 of the block are all zero: the words ORed
// two at a time (generic vectors, which x86-64 builds keep in SSE2
// registers), as it runs once per block of every read. Each pair is loaded
// on its own: a copy of the whole block into an array went through the
// stack.
inline bool has_only_dc(const CoefficientBlock& block) {
  // The first two AC terms in zigzag order answer for most blocks that
  // have any, before the whole block is read.
  if ((block.coef[1] | block.coef[8]) != 0) return false;
  using WordPair = uint64_t __attribute__((vector_size(16)));
  constexpr int kPairs = static_cast<int>(sizeof block.coef / (sizeof(WordPair)));
  constexpr int kWordsPerPair = static_cast<int>(sizeof(WordPair) / sizeof block.coef[0]);
  WordPair any;
  std::memcpy(&any, block.coef, sizeof any);
  // Coefficient 0 is the low 16 bits of the first word (little-endian).
  any &= WordPair{~uint64_t{0xFFFF}, ~uint64_t{0}};
  for (int i = 1; i < kPairs; ++i) {
    WordPair pair;
    std::memcpy(&pair, block.coef + i * kWordsPerPair, sizeof pair);
    any |= pair;
  }
  return (any[0] | any[1]) == 0;
}

// The size x size corner of the block set to `sample`; the sizes are
// spelled out so that each loop becomes a few vector stores.
template <uint32_t kSize>
inline void fill_corner(CoefficientBlock* block, int16_t sample) {
  for (uint32_t row = 0; row < kSize; ++row) {
    for (uint32_t column = 0; column < kSize; ++column) block->coef[8 * row + column] = sample;
  }
}

inline void fill_samples(CoefficientBlock* block, uint32_t size, int16_t sample) {
  switch (size) {
    case 8: return fill_corner<8>(block, sample);
    case 4: return fill_corner<4>(block, sample);
    case 2: return fill_corner<2>(block, sample);
    default: block->coef[0] = sample;
  }
}
