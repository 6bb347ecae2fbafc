// Lookup tables of the block skipper (block_skip.h): for an AC Huffman
// table, what the next 12 bits of a block's AC data hold when the values
// are not wanted, only where the codes end.
//
// An entry covers every code that starts in the 12 bits and whose code
// bits lie in them, up to an end of block, so one load steps over several
// codes. The last one's magnitude may reach past the 12 bits (up to
// kSkipMaxBits in all): the skipper has that many bits in hand. It must
// also know whether the codes all start inside the block, so an entry
// carries the sum of their coefficient steps (run + 1, 16 for ZRL). Both go into 16 bits, so a table is 8 KiB and the tables of
// a colour scan stay in the first-level cache.
//
// Building a table costs about as much as passing a few hundred blocks,
// which small pictures would feel at every read: a table is built once per
// Huffman table content in the process (for the first few contents met;
// a record builds its own beyond those), and a record keeps the one of
// each AC table slot until that slot's Huffman table changes.
#pragma once
#include <cstdint>

#include "huffman_table.h"
#include "jpeg_record.h"

constexpr int kSkipBits = 12;
// The most bits an entry takes: a 12-bit code and a 15-bit magnitude.
constexpr int kSkipMaxBits = 27;

// Bits 0..4: the bits taken (1..27); bits 5..7 zero, so the entry itself
// can be a shift count. Bits 8..15, the steps: the sum of the codes'
// coefficient steps (1..63) when no code is an end of block; 128 + the sum
// before it when the last code is an end of block; 255 (with no bits) when
// not even the first code and its magnitude fit in 12 bits.
using SkipEntry = uint16_t;
constexpr int skip_entry_bits(SkipEntry e) { return e & 63; }
constexpr int skip_entry_steps(SkipEntry e) { return e >> 8; }
constexpr int kSkipEndOfBlock = 128;
constexpr int kSkipNoCode = 255;

// The codes the entries do not cover are found with the Huffman table's
// own limits (HuffmanTable::limit).
struct SkipTable {
  SkipEntry ac[1 << kSkipBits];
};

// Fills `skip` from the AC table `ac_table`.
void build_skip_table(const HuffmanTable& ac_table, SkipTable& skip);

// The skip table of the AC table of each scan component i whose bit
// (1 << i) is set in `components`, in `tables` (the others null), built
// when not met before. JPEG_ERR_MEMORY when the record's part cannot be
// allocated.
JpegStatus prepare_skip_tables(DecoderState& state, const ScanInfo& scan, uint32_t components,
                               const SkipTable* tables[kMaxScanComponents]);

// Frees the record's skip tables.
void release_skip_tables(DecoderState& state);
