// One 8x8 block of 64 signed 16-bit values in natural row-major order
// (index = 8 * row + column, row = vertical frequency). The entropy decoder
// writes quantised coefficients; dequantisation and the inverse DCT rewrite
// the same storage in place, first into dequantised coefficients, then into
// samples 0..255.
#pragma once
#include <cstdint>

struct alignas(16) CoefficientBlock {
  int16_t coef[64];
};

// Entries of one prepared quantisation table: 64 values in natural order,
// then 16 entries that preparation always zeroes.
constexpr int kPreparedQuantEntries = 80;
