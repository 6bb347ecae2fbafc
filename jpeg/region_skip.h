// Passing over blocks outside a region: the DC values are decoded (the DC
// predictions must stay right) and the AC coefficients are only stepped
// over. A lookup of the next 12 bits gives the length and coefficient
// steps of all the AC codes (with their magnitudes) that lie whole within
// them, since their values are not needed, so several codes go per load;
// a second lookup gives a DC code's length and magnitude size. Codes that
// do not fit, 0xFF bytes, the end of the data and file refills go through
// the ordinary reader. The bits taken are exactly those of
// decode_block_dc_only (slot 56).
#pragma once
#include <cstdint>

#include "huffman_table.h"
#include "jpeg_input.h"

constexpr int kSkipBits = 12;

struct SkipTable {
  // AC, indexed by the next kSkipBits bits: bits 0..4 the bits of the
  // codes that lie whole within them, bits 5..12 the sum of their
  // coefficient steps (run + 1, 16 for ZRL), bits 13..20 that sum without
  // the last code's step, bit 21 set when the last code is EOB; 0 when not
  // even the first code fits.
  uint32_t ac[1 << kSkipBits];
  // DC: code length in bits 0..4, magnitude size in bits 5..9; 0 when the
  // code is longer than kSkipBits.
  uint16_t dc[1 << kSkipBits];
};

// Fills the AC part from `ac_table` and the DC part from `dc_table`.
void build_skip_table(const HuffmanTable& dc_table, const HuffmanTable& ac_table, SkipTable& skip);

// One block of an MCU to pass: its tables and its component's prediction.
struct SkipBlock {
  const HuffmanTable* dc_table;
  const HuffmanTable* ac_table;
  const SkipTable* skip;
  int16_t* prediction;
};

// Passes `mcus` MCUs of the `count` blocks in order. Returns 0 or a
// negative input status; markers end a block, as in the block decoders.
JpegStatus skip_blocks(JpegInput& in, const SkipBlock* blocks, uint32_t count, uint32_t mcus);
