// Which coefficients of a block are non-zero, as a 64-bit mask in zigzag
// order (bit k for zigzag position k, ITU-T T.81 Figure A.6).
//
// The progressive refinement scans (T.81 G.1.2.3) take one correction bit
// per non-zero coefficient of the band and count zero ones for the runs.
// Visiting the 63 positions one by one branches on every coefficient,
// unpredictably; with the mask the non-zero ones are found by bit scans
// and the run's end by clearing low bits. The mask is built in two steps:
// the natural-order mask (a side member: SSE2 compares eight coefficients
// at once; the portable member four per 64-bit word, a carry into each
// lane's top bit marking a non-zero lane), then the zigzag permutation of
// its bits through one table lookup per byte. The AVX2 member puts the
// coefficients in zigzag order first and takes the mask at once.
#pragma once
#include <cstdint>

#include "coefficient_block.h"

// bits[b][v]: the zigzag-order bits of the natural positions 8b..8b+7
// whose set bits are those of v.
struct ZigzagBitTable {
  uint64_t bits[8][256];
};
extern const ZigzagBitTable kNaturalToZigzagBits;

// Bit i set where block.coef[i] != 0 (natural order).
uint64_t natural_nonzero_mask(const CoefficientBlock& block);

// The natural-order mask `natural` permuted into zigzag order.
inline uint64_t zigzag_order_of(uint64_t natural) {
  uint64_t zigzag = 0;
  for (int byte = 0; byte < 8; ++byte) zigzag |= kNaturalToZigzagBits.bits[byte][(natural >> (8 * byte)) & 0xFF];
  return zigzag;
}

// Bit k set where the coefficient at zigzag position k is non-zero: the
// side member SideMembers::zigzag_nonzero, of which this is the portable
// form.
using NonzeroMask = uint64_t (*)(const CoefficientBlock& block);
inline uint64_t zigzag_nonzero_mask(const CoefficientBlock& block) {
  return zigzag_order_of(natural_nonzero_mask(block));
}
