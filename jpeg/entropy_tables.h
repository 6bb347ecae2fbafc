// Constant tables of the Huffman entropy decoder (ITU-T T.81 F.2.2.1 and
// Figure A.6): the zigzag-to-natural map and the EXTEND offsets.
//
// The zigzag map has 16 extra entries of 63 after the 64 positions of
// Figure A.6, so that a run length from corrupt data that steps past
// position 63 lands on coefficient 63 instead of outside the block.
#pragma once
#include <cstdint>

// Natural (row-major) index of each zigzag position k; entries 64..79 are 63.
extern const uint8_t kZigzagToNatural[80];

// EXTEND (T.81 Figure F.12) as an addition: for a magnitude category s in
// 1..15, -(2^s - 1); entries 0 and 16 are 0.
extern const int32_t kExtendOffset[17];

// Sign-extends the s-bit magnitude v of category s in 1..15 (T.81
// F.2.2.1, EXTEND): values whose top bit is clear are negative. Branch-free,
// because the sign of a coefficient is as unpredictable as a coin toss:
// v - 2^(s-1) is negative exactly when the top bit is clear, and its sign
// mask selects the offset.
inline int32_t extend_magnitude(uint32_t v, int s) {
  const int32_t top_bit_clear = static_cast<int32_t>(v - (1u << (s - 1))) >> 31;
  return static_cast<int32_t>(v) + (top_bit_clear & kExtendOffset[s]);
}
