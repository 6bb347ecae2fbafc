// Sequential Huffman block decoding, baseline and extended (ITU-T T.81
// F.2.2.1 DC differences with EXTEND, F.2.2.2 AC run/size symbols RS with
// ZRL = 0xF0 and EOB = 0x00).
//
// A block runs on the fast bit window (local_bits.h) while it can keep a
// longest code and its magnitude in hand: most symbols decode there with
// one load from the table's coefficient lookup, code and magnitude bits
// together, and the rest (long codes, large magnitudes, ZRL) through the
// symbol lookup and the length limits, without leaving the loop, so a
// block costs few unpredictable branches beyond its end of block. Near a
// marker or the end of the buffered input the block goes on, from the
// same bit and position, with the ordinary DECODE and RECEIVE steps of the
// exact reader, which give the same coefficients.
//
// Corrupt run lengths cannot leave the block: zigzag positions past 63 map
// to coefficient 63 (see kZigzagToNatural), and the AC loop ends once 63
// positions have passed.
#include "bit_reader.h"
#include "entropy_decode.h"
#include "entropy_tables.h"
#include "local_bits.h"

#if defined(_MSC_VER)
#define ENTROPY_NOINLINE __declspec(noinline)
#else
#define ENTROPY_NOINLINE __attribute__((noinline))
#endif

namespace {

// Block progress: the zigzag position the decoding goes on from; 0 before
// the DC difference, kBlockDone once the block has ended.
constexpr int kBlockDone = 64;

// One AC symbol at zigzag position k through the symbol lookup and the
// length limits (a long code, a large magnitude, or a symbol the pair
// lookup leaves out); returns the progress, or -1 when the bits for it are
// not in hand.
template <bool kStore>
VKT_FORCE_INLINE int local_ac_symbol(LocalBits& bits, const HuffmanTable& ac_table, int k, int16_t* coef) {
  if (!bits.have(kCodeStepBits)) return -1;
  const int rs = bits.symbol(ac_table);
  const int size = rs & 0x0F;
  if (size == 0) {
    if (rs != 0xF0) return kBlockDone;  // EOB
    k += 16;                            // ZRL
    return k >= 64 ? kBlockDone : k;
  }
  k += rs >> 4;
  if constexpr (kStore) coef[kZigzagToNatural[k]] = static_cast<int16_t>(extend_magnitude(bits.peek(size), size));
  bits.take(size);
  return ++k >= 64 ? kBlockDone : k;
}

// The AC coefficients from zigzag position k on (table Ta) on the fast
// window, storing each at natural position kZigzagToNatural[k] when
// kStore; returns the progress. The bits are topped up once per group of
// kGroup lookups, which take at most kGroup * kHuffmanCoefficientBits bits,
// so the lookups need no count check of their own; a symbol the lookup
// does not hold goes through local_ac_symbol and ends its group. A table
// with a pair lookup takes one or two symbols per load.
template <bool kStore>
VKT_FORCE_INLINE int local_ac(LocalBits& bits, const HuffmanTable& ac_table, int k, int16_t* coef) {
  constexpr int kGroup = 5;
  constexpr int kGroupBits = kGroup * kHuffmanCoefficientBits;
  static_assert(kGroupBits <= 56, "a top-up must cover a group");
  const PairEntry* const pairs = ac_table.pairs;
  const CoefficientEntry* const lookup = ac_table.coefficients;
  // After the DC difference's top-up the bits in hand nearly always cover
  // a first group one lookup shorter: a top-up less per block, which flat
  // pictures of few coefficients per block feel.
  int group = bits.count() >= kGroupBits - kHuffmanCoefficientBits ? kGroup - 1 : 0;
  for (;;) {
    for (int i = 0; i < group; ++i) {
      if (pairs != nullptr) {
        const PairEntry entry = pairs[bits.peek(kHuffmanCoefficientBits)];
        int at = k + pair_run(entry);
        if (at < 63) {
          bits.take_entry(entry);
          if constexpr (kStore) coef[kZigzagToNatural[at]] = pair_value1(entry);
          at += pair_second(entry);
          if constexpr (kStore) coef[kZigzagToNatural[at]] = pair_value2(entry);
          k = at + pair_after(entry);
          if (k >= 64) return kBlockDone;
          continue;
        }
      } else {
        const CoefficientEntry entry = lookup[bits.peek(kHuffmanCoefficientBits)];
        if (entry_is_coefficient(entry)) {
          bits.take_entry(entry);
          k += entry_run(entry);
          if constexpr (kStore) coef[kZigzagToNatural[k]] = static_cast<int16_t>(entry_value(entry));
          if (++k >= 64) return kBlockDone;
          continue;
        }
        if (entry != 0) {  // an end of block
          bits.take_entry(entry);
          return kBlockDone;
        }
      }
      const int next = local_ac_symbol<kStore>(bits, ac_table, k, coef);
      if (next < 0 || next == kBlockDone) return next < 0 ? k : kBlockDone;
      k = next;
      break;
    }
    if (!bits.top_up(kGroupBits)) return k;
    group = kGroup;
  }
}

// Decodes the DC difference (category T from table Td) into `prediction`.
JpegStatus decode_dc(BitReader& bits, const HuffmanTable& dc_table, int16_t& prediction) {
  int symbol;
  JpegStatus status = bits.decode(dc_table, symbol);
  if (status != 0) return status;
  const int size = symbol & 0x0F;
  if (size == 0) return 0;
  uint32_t magnitude;
  status = bits.read(size, magnitude);
  if (status != 0) return status;
  prediction = static_cast<int16_t>(
      static_cast<uint16_t>(prediction + extend_magnitude(magnitude, size)));
  return 0;
}

// The AC coefficients of zigzag positions k..63 (table Ta).
template <bool kStore>
JpegStatus decode_ac(BitReader& bits, const HuffmanTable& ac_table, int k, int16_t* coef) {
  while (k < 64) {
    int rs;
    const JpegStatus status = bits.decode(ac_table, rs);
    if (status != 0) return status;
    const int size = rs & 0x0F;
    const int run = rs >> 4;
    if (size == 0) {
      if (run != 15) return 0;  // EOB
      k += 16;                  // ZRL
      continue;
    }
    k += run;
    uint32_t magnitude;
    const JpegStatus read = bits.read(size, magnitude);
    if (read != 0) return read;
    if constexpr (kStore) coef[kZigzagToNatural[k]] = static_cast<int16_t>(extend_magnitude(magnitude, size));
    ++k;
  }
  return 0;
}

JpegStatus finish(JpegStatus status) { return status == kMarkerReached ? 0 : status; }

// The rest of a block from progress k through the exact reader: the DC
// difference first when k is 0 (its value then goes to *dc_out), then the
// AC coefficients. A marker ends the block with success.
template <bool kStore>
ENTROPY_NOINLINE JpegStatus exact_rest(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                                       int16_t& prediction, int k, int16_t* dc_out, int16_t* coef) {
  BitReader bits(in);
  if (k == 0) {
    const JpegStatus status = decode_dc(bits, dc_table, prediction);
    if (status != 0) return finish(status);
    *dc_out = prediction;
    k = 1;
  }
  return finish(decode_ac<kStore>(bits, ac_table, k, coef));
}

// One block, its DC value into *dc_out and, when kStore, its AC
// coefficients into coef (already zero).
template <bool kStore>
VKT_FORCE_INLINE JpegStatus decode_block(LocalBits& bits, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                                         int16_t& prediction, int16_t* dc_out, int16_t* coef) {
  int k = 0;
  if (local_dc<true>(bits, dc_table, prediction)) {
    *dc_out = prediction;
    k = local_ac<kStore>(bits, ac_table, 1, coef);
    if (k == kBlockDone) return 0;
  }
  bits.store();
  const JpegStatus status = exact_rest<kStore>(bits.input(), dc_table, ac_table, prediction, k, dc_out, coef);
  bits.load();
  return status;
}

}  // namespace

JpegStatus decode_block_sequential(JpegInput& in, const HuffmanTable& dc_table,
                                   const HuffmanTable& ac_table, int16_t& prediction,
                                   CoefficientBlock& block) {
  clear_block(block);
  LocalBits bits(in);
  const JpegStatus status = decode_block<true>(bits, dc_table, ac_table, prediction, &block.coef[0], block.coef);
  bits.store();
  return status;
}

JpegStatus decode_blocks_sequential(JpegInput& in, const SequentialBlock* blocks, uint32_t count,
                                    CoefficientBlock* out) {
  LocalBits bits(in);
  for (uint32_t b = 0; b < count; ++b) {
    const SequentialBlock& block = blocks[b];
    clear_block(out[b]);
    const JpegStatus status =
        decode_block<true>(bits, *block.dc_table, *block.ac_table, *block.prediction, &out[b].coef[0], out[b].coef);
    if (status != 0) {
      bits.store();
      return status;
    }
  }
  bits.store();
  return 0;
}

JpegStatus decode_block_dc_only(JpegInput& in, const HuffmanTable& dc_table,
                                const HuffmanTable& ac_table, int16_t& prediction,
                                int16_t& dc_value) {
  dc_value = 0;
  LocalBits bits(in);
  const JpegStatus status = decode_block<false>(bits, dc_table, ac_table, prediction, &dc_value, nullptr);
  bits.store();
  return status;
}
