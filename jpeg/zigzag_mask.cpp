// The portable natural-order mask of non-zero coefficients, and the bit
// permutation table into zigzag order (16 KiB), built at compile time
// from the zigzag sequence.
#include "zigzag_mask.h"

#include <cstring>

#include "entropy_tables.h"

namespace {

constexpr ZigzagBitTable make_zigzag_bits() {
  uint8_t zigzag_of[64] = {};
  for (int k = 0; k < 64; ++k) zigzag_of[kZigzagToNatural[k]] = static_cast<uint8_t>(k);
  ZigzagBitTable table{};
  for (int byte = 0; byte < 8; ++byte)
    for (int value = 0; value < 256; ++value)
      for (int bit = 0; bit < 8; ++bit)
        if (value & (1 << bit)) table.bits[byte][value] |= 1ull << zigzag_of[8 * byte + bit];
  return table;
}

}  // namespace

alignas(64) constinit const ZigzagBitTable kNaturalToZigzagBits = make_zigzag_bits();

uint64_t natural_nonzero_mask(const CoefficientBlock& block) {
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
  return natural;
}
