// Huffman decoding tables built from a DHT segment (ITU-T T.81 B.2.4.2,
// Annex C and F.2.2.3).
//
// Besides the MINCODE/MAXCODE/VALPTR arrays of F.2.2.3 a table carries
// 10-bit lookup tables, so that the common short codes decode with one
// load (an AC table also points to a pair lookup, two symbols per load),
// and length limits that find a longer code without a search per length.
// The builder refuses tables that T.81 forbids and that would make the
// decoder read or write outside a table: counts that promise more values
// than the segment holds, more than 257 codes, over-subscribed code lengths
// (a code that no longer fits in its length) and all-ones codes.
#pragma once
#include <cstddef>
#include <cstdint>

// Width of the symbol lookup index: the next 10 bits of the stream. Codes
// of 10 bits or fewer cover nearly every symbol of typical tables (the
// longer ones are rare enough for the length-by-length search), and 1024
// entries of 16 bits (2 KiB) stay in the first-level cache.
constexpr int kHuffmanFastBits = 10;
// More codes than the 256 symbols T.81 allows are tolerated, up to 257.
constexpr int kHuffmanMaxCodes = 257;

// A symbol lookup entry (HuffmanTable::fast): the code length and the
// symbol; 0 when the bits start a longer code.
using SymbolEntry = uint16_t;
constexpr int symbol_entry_length(SymbolEntry e) { return e >> 8; }
constexpr int symbol_entry_symbol(SymbolEntry e) { return e & 0xFF; }

// Width of the coefficient lookup: the next 10 bits of the stream, enough
// for the short code and the magnitude bits of most coefficients of a
// camera picture together (4 KiB per table).
constexpr int kHuffmanCoefficientBits = 10;
// A lookup entry: bits taken (1..10; 0 = take the ordinary path) in bits
// 0..7, the run in bits 8..15, the signed value (-511..511) in bits 16..31.
// An AC entry of value 0 is an end of block; a DC entry of value 0 a
// difference of 0. The bits taken fill the low byte alone, so a shift by
// the entry itself takes them (x86 shifts use the count's low six bits),
// and the entries that end the AC fast loop (the ordinary path, the end of
// block) are exactly those below 2^16.
using CoefficientEntry = uint32_t;
constexpr int entry_bits(CoefficientEntry e) { return static_cast<int>(e & 0xFF); }
constexpr int entry_run(CoefficientEntry e) { return static_cast<int>((e >> 8) & 0xFF); }
constexpr int entry_value(CoefficientEntry e) { return static_cast<int32_t>(e) >> 16; }
// Whether an AC entry is a coefficient with its bits (neither the ordinary
// path nor an end of block).
constexpr bool entry_is_coefficient(CoefficientEntry e) { return e > 0xFFFF; }

// A pair lookup entry (HuffmanTable::pairs), for AC tables: what the next
// 10 bits hold as one or two whole symbols (code and magnitude bits within
// the 10), so that a dense block takes two coefficients per dependent load
// where their codes are short. It is written as steps on the zigzag
// position k: store value 1 at k + run 1, advance by `second`, store value
// 2 there, advance by `after`. A single coefficient has second 0 and value
// 2 equal to value 1 (the same store twice); an end of block stores 0 where
// the block is still zero and has `after` 64 or more, which ends the loop;
// ZRL is a run of 15 with value 0. An entry that holds no whole symbol has
// run 1 kPairEscape, so the one test of k + run 1 against 63 both sends it
// to the ordinary steps and keeps a first symbol at position 63 (the end of
// the block, where a second symbol would belong to the next block) out.
// Bits 0..7: the bits taken (the low byte alone, so the entry is its own
// shift count), 8..15 run 1, 16..23 second, 24..31 after, 32..47 value 1,
// 48..63 value 2.
using PairEntry = uint64_t;
constexpr int kPairEscape = 63;
constexpr int pair_bits(PairEntry e) { return static_cast<int>(e & 0xFF); }
constexpr int pair_run(PairEntry e) { return static_cast<int>((e >> 8) & 0xFF); }
constexpr int pair_second(PairEntry e) { return static_cast<int>((e >> 16) & 0xFF); }
constexpr int pair_after(PairEntry e) { return static_cast<int>((e >> 24) & 0xFF); }
constexpr int16_t pair_value1(PairEntry e) { return static_cast<int16_t>(static_cast<uint16_t>(e >> 32)); }
constexpr int16_t pair_value2(PairEntry e) { return static_cast<int16_t>(static_cast<uint16_t>(e >> 48)); }

struct HuffmanTable {
  int32_t table_class;  // Tc: 0 = DC, 1 = AC
  int32_t id;           // Th: 0..3
  // Indexed by the next kHuffmanFastBits bits: (code length << 8) | symbol
  // for codes of length 1..kHuffmanFastBits, 0 when those bits start a
  // longer code.
  SymbolEntry fast[1 << kHuffmanFastBits];
  // Indexed by the next 10 bits: a whole coefficient (code and magnitude
  // bits within 10 bits; value already EXTENDed, run 0 for DC symbols) or
  // an AC end of block; 0 when the ordinary decode must run (ZRL, codes
  // whose code and magnitude bits together pass 10 bits).
  CoefficientEntry coefficients[1 << kHuffmanCoefficientBits];
  uint16_t values[kHuffmanMaxCodes];  // HUFFVAL, symbols in code order
  // T.81 F.2.2.3, indexed by code length 1..16; entry 0 unused. A length
  // without codes has maxcode -1; maxcode[17] = -1 ends the search.
  int16_t mincode[17];
  int16_t maxcode[18];
  int16_t valptr[17];
  // The same search on the next 16 bits v, without a step per length: the
  // code is v's first `length` bits for the first length with
  // v < limit[length], and its symbol values[offset[length] + code]. A
  // length without codes has its predecessor's limit, so the limits never
  // decrease and the length is one plus the count of limits v reaches.
  uint32_t limit[17];
  int32_t offset[17];
  // Indexed by the next kHuffmanCoefficientBits bits: the pair lookup of
  // an AC table the process keeps (huffman_shared.h), which owns it; null
  // for other tables, whose blocks take the coefficient lookup alone.
  const PairEntry* pairs;
  // The first code for symbol 0x00 (DC: no difference; AC: end of block),
  // left-aligned in 16 bits, and its length; 0 when the table has none.
  uint16_t zero_code;
  uint8_t zero_length;
};

// The bits of a block with no DC difference and no AC coefficient: the
// DC and AC codes for symbol 0x00, left-aligned in 32 bits. Most blocks of
// flat pictures are such, and one compare lets the block skipper pass
// them. The default matches nothing.
struct EmptyBlockCode {
  uint32_t code = 1;
  uint32_t mask = 0;
  int bits = 0;
};
// At most 31 bits, which the block skipper has in hand after a top-up.
EmptyBlockCode empty_block_code(const HuffmanTable& dc_table, const HuffmanTable& ac_table);

// Fills the 2^kHuffmanCoefficientBits pair entries of the AC table `table`.
void build_pair_entries(const HuffmanTable& table, PairEntry* pairs);

// Builds `table` for class Tc and id Th from the 16 counts BITS (codes of
// length 1..16) and the symbols HUFFVAL. `values_available` is how many
// bytes of the segment follow the counts; a table that needs more is
// refused. Returns 0, or -6 ("Bad Huffman table") leaving `table` as it
// was.
int32_t build_huffman_table(const uint8_t counts[16], const uint8_t* values,
                          size_t values_available, int32_t table_class,
                          int32_t id, HuffmanTable* table);

// Number of symbols the 16 counts promise (the length of HUFFVAL).
int huffman_value_count(const uint8_t counts[16]);
