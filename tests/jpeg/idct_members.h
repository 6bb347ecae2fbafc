// The eight inverse transforms with what a test needs to drive them: the
// output size, and the kind, which decides the dequantiser and table
// preparation that produce their input.
#pragma once
#include <array>
#include <cstdint>

#include "idct.h"

struct IdctMember {
  const char* name;
  IdctFn transform;
  int size;  // outputs per row and column: 8, 4, 2 or 1
  bool fast;
};

inline constexpr std::array<IdctMember, 8> kIdctMembers = {{
    {"idct_fast_8x8", idct_fast_8x8, 8, true},
    {"idct_fast_4x4", idct_fast_4x4, 4, true},
    {"idct_fast_2x2", idct_fast_2x2, 2, true},
    {"idct_fast_1x1", idct_fast_1x1, 1, true},
    {"idct_precise_8x8", idct_precise_8x8, 8, false},
    {"idct_precise_4x4", idct_precise_4x4, 4, false},
    {"idct_precise_2x2", idct_precise_2x2, 2, false},
    {"idct_precise_1x1", idct_precise_1x1, 1, false},
}};

// Dequantises `block` for the member's kind with the natural-order table
// `quantisers`, prepared as a DQT segment would have it prepared.
inline void DequantiseFor(const IdctMember& member, CoefficientBlock* block,
                          const std::array<uint16_t, 64>& zigzagQuantisers) {
  int16_t prepared[kPreparedQuantEntries];
  if (member.fast) {
    prepare_quant_table_fast(zigzagQuantisers.data(), prepared);
    dequantise_fast(block, prepared);
  } else {
    prepare_quant_table_precise(zigzagQuantisers.data(), prepared);
    dequantise_precise(block, prepared);
  }
}
