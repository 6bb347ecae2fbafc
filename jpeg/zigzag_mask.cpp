// The bit permutation table of zigzag_nonzero_mask (16 KiB), built at
// compile time from the zigzag sequence.
#include "zigzag_mask.h"

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
