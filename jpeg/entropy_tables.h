// Constant tables of the Huffman entropy decoder (ITU-T T.81 F.2.2.1 and
// Figure A.6): the zigzag-to-natural map and the EXTEND offsets.
//
// The zigzag map has 16 extra entries of 63 after the 64 positions of
// Figure A.6, so that a run length from corrupt data that steps past
// position 63 lands on coefficient 63 instead of outside the block.
#pragma once
#include <cstdint>

// Natural (row-major) index of each zigzag position k; entries 64..79 are 63.
inline constexpr uint8_t kZigzagToNatural[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    // Landing places for runs past the end of the block.
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

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
