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

// Sign-extends the s-bit magnitude v of category s (T.81 F.2.2.1, EXTEND):
// values whose top bit is clear are negative.
inline int32_t ExtendMagnitude(uint32_t v, int s) {
  const bool negative = s > 0 && (v >> (s - 1)) == 0;
  return static_cast<int32_t>(v) + (negative ? kExtendOffset[s] : 0);
}
