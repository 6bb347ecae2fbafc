// Passing over blocks outside a region: the DC value is decoded (the DC
// predictions must stay right) and the AC coefficients are only stepped
// over. A lookup of the next 12 bits gives the code and magnitude length
// and the coefficient steps of all the codes that lie whole within them
// (values are not needed, so several codes go per load); codes that do not
// fit go through the ordinary DECODE. The bits taken are exactly those
// decode_block_dc_only takes.
#pragma once
#include <cstdint>

#include "huffman_table.h"
#include "jpeg_input.h"

constexpr int kSkipBits = 12;

// Indexed by the next kSkipBits bits, for the codes (with magnitudes) that
// lie whole within them: bits 0..4 their bits, bits 5..12 the sum of their
// coefficient steps (run + 1, 16 for ZRL), bits 13..20 that sum without
// the last code's step, bit 21 set when the last code is EOB. 0 when not
// even the first code fits.
struct SkipTable {
  uint32_t entries[1 << kSkipBits];
};

void build_skip_table(const HuffmanTable& ac_table, SkipTable& skip);

// One block: its DC difference added to `prediction`, its AC codes passed.
JpegStatus skip_block(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                      const SkipTable& skip, int16_t& prediction);
