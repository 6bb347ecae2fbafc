// Which coefficients of a block are non-zero, as a 64-bit mask in zigzag
// order (bit k for zigzag position k, ITU-T T.81 Figure A.6).
//
// The progressive refinement scans (T.81 G.1.2.3) take one correction bit
// per non-zero coefficient of the band and count zero ones for the runs.
// Visiting the 63 positions one by one branches on every coefficient,
// unpredictably; with the mask the non-zero ones are found by bit scans
// and the run's end by clearing low bits. The mask is built in two steps:
// the natural-order mask, four coefficients per 64-bit word (a carry into
// each lane's top bit marks a non-zero lane), then the zigzag permutation
// of its bits through one table lookup per byte.
#pragma once
#include <cstdint>
#include <cstring>

#include "coefficient_block.h"

// bits[b][v]: the zigzag-order bits of the natural positions 8b..8b+7
// whose set bits are those of v.
struct ZigzagBitTable {
  uint64_t bits[8][256];
};
extern const ZigzagBitTable kNaturalToZigzagBits;

inline uint64_t zigzag_nonzero_mask(const CoefficientBlock& block) {
  constexpr uint64_t kTops = 0x8000800080008000ull;
  // Moves the lane tops (bits 15, 31, 47, 63) to bits 60..63: the four
  // shifted copies meet nowhere else, so no carry disturbs those bits.
  constexpr uint64_t kGather = (1ull << 45) | (1ull << 30) | (1ull << 15) | 1ull;
  uint64_t natural = 0;
  for (int word = 0; word < 16; ++word) {
    uint64_t lanes;
    std::memcpy(&lanes, block.coef + 4 * word, sizeof lanes);
    const uint64_t tops = (((lanes & ~kTops) + ~kTops) | lanes) & kTops;
    natural |= ((tops * kGather) >> 60) << (4 * word);
  }
  uint64_t zigzag = 0;
  for (int byte = 0; byte < 8; ++byte) zigzag |= kNaturalToZigzagBits.bits[byte][(natural >> (8 * byte)) & 0xFF];
  return zigzag;
}
