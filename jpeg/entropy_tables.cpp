// Constant tables of the Huffman entropy decoder: ITU-T T.81 Figure A.6
// (zigzag sequence) and F.2.2.1 (EXTEND offsets).
#include "entropy_tables.h"

const uint8_t kZigzagToNatural[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    // Landing places for runs past the end of the block.
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

const int32_t kExtendOffset[17] = {
    0,      -1,     -3,     -7,      -15,     -31,     -63,     -127,  -255,
    -511,   -1023,  -2047,  -4095,   -8191,   -16383,  -32767,  0};
