// Passing over blocks whose AC coefficients are not wanted: the blocks of
// MCUs outside a region, and every block of a component that a 1/8 read
// turns into one sample (its DC value). The DC values are decoded, since
// the DC predictions must stay right; the AC codes are only stepped over,
// several per lookup (skip_tables.h).
//
// The bits taken, the DC predictions and the DC values are exactly those
// of decode_block_dc_only (JpegOps slot 56) block after block: the fast
// path works only on bits that are in the input before any marker, and
// what it cannot decide (runs that reach the end of the block, codes
// longer than 12 bits without 31 bits in hand, the last bytes before a
// marker or the end of the input, file refills) goes through the ordinary
// reader one code or one block at a time. One difference: where a buffer
// ends in a lone 0xFF, the ordinary reader's read-ahead reports it a few
// codes earlier than the skipper, which reports it when it needs the bits
// there; both fail the read.
//
// One call passes many blocks on a local copy of the bit state, so that
// neither a call nor the input's fields come between two blocks.
#pragma once
#include <cstdint>

#include "huffman_table.h"
#include "jpeg_input.h"
#include "skip_tables.h"

// One block of an MCU to pass: its tables and its component's prediction.
struct SkipBlock {
  const HuffmanTable* dc_table;
  const HuffmanTable* ac_table;
  const SkipTable* skip;  // built from *ac_table
  int16_t* prediction;
  EmptyBlockCode empty = {};
};

// Passes `mcus` MCUs of the `count` blocks in order. With `dc_values`, the
// DC value of each block goes there, `count` per MCU. Returns 0 or a
// negative input status; markers end a block, as in the block decoders.
// `passed` gets the MCUs passed whole, all of them unless a status is
// returned.
JpegStatus skip_blocks(JpegInput& in, const SkipBlock* blocks, uint32_t count, uint32_t mcus,
                       int16_t* dc_values, uint32_t& passed);
