// Constant tables of the Huffman entropy decoder: F.2.2.1 (EXTEND
// offsets) of ITU-T T.81; the zigzag sequence lives in the header.
#include "entropy_tables.h"

const int32_t kExtendOffset[17] = {
    0,      -1,     -3,     -7,      -15,     -31,     -63,     -127,  -255,
    -511,   -1023,  -2047,  -4095,   -8191,   -16383,  -32767,  0};
