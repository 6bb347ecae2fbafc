// Dequantisation (ITU-T T.81 A.3.4): each quantised coefficient Sq(u,v)
// times its prepared table entry, in place, in natural order.
//
// The products of two 16-bit values always fit 32 bits. Their results are
// stored as 16 bits: for valid 8-bit data they fit; for corrupt data the
// low 16 bits are kept, as a 16-bit SIMD multiply keeps them.
#include "idct.h"

void dequantise_fast(CoefficientBlock* block, const int16_t* preparedTable) {
  // The table carries 256 * Q * s(u) * s(v); the transform wants twice the
  // scaled coefficient, hence 8 - 1 = 7 fraction bits to drop, rounded.
  for (int k = 0; k < 64; ++k) block->coef[k] = dequantised_fast(block->coef[k], preparedTable[k]);
}

void dequantise_precise(CoefficientBlock* block,
                        const int16_t* preparedTable) {
  for (int k = 0; k < 64; ++k) block->coef[k] = dequantised_precise(block->coef[k], preparedTable[k]);
}

void idct_fast_8x8_dequantised(CoefficientBlock* block, const int16_t* preparedTable) {
  dequantise_fast(block, preparedTable);
  idct_fast_8x8(block);
}

void idct_precise_8x8_dequantised(CoefficientBlock* block, const int16_t* preparedTable) {
  dequantise_precise(block, preparedTable);
  idct_precise_8x8(block);
}

void idct_precise_4x4_dequantised(CoefficientBlock* block, const int16_t* preparedTable) {
  dequantise_precise(block, preparedTable);
  idct_precise_4x4(block);
}

void idct_precise_2x2_dequantised(CoefficientBlock* block, const int16_t* preparedTable) {
  dequantise_precise(block, preparedTable);
  idct_precise_2x2(block);
}
