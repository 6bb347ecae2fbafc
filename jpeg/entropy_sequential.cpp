// Sequential Huffman block decoding, baseline and extended (ITU-T T.81
// F.2.2.1 DC differences with EXTEND, F.2.2.2 AC run/size symbols RS with
// ZRL = 0xF0 and EOB = 0x00).
//
// Most symbols decode with one load from the table's coefficient lookup,
// code and magnitude bits together; the rest (long codes, large
// magnitudes, ZRL, the last bits before a marker) take the ordinary
// DECODE and RECEIVE steps, which give the same coefficients.
//
// Corrupt run lengths cannot leave the block: zigzag positions past 63 map
// to coefficient 63 (see kZigzagToNatural), and the AC loop ends once 63
// positions have passed.
#include "bit_reader.h"
#include "entropy_decode.h"
#include "entropy_tables.h"

namespace {

// Decodes the DC difference (category T from table Td) into `prediction`.
VKT_FORCE_INLINE JpegStatus decode_dc(BitReader& bits, const HuffmanTable& dc_table,
                                      int16_t& prediction) {
  CoefficientEntry entry;
  JpegStatus status = bits.lookup_coefficient(dc_table, entry);
  if (status != 0) return status;
  if (entry_bits(entry) != 0) {
    bits.skip(entry_bits(entry));
    prediction = static_cast<int16_t>(static_cast<uint16_t>(prediction + entry_value(entry)));
    return 0;
  }
  int symbol;
  status = bits.decode(dc_table, symbol);
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

// The AC coefficients of zigzag positions 1..63 (table Ta).
template <bool kStore>
VKT_FORCE_INLINE JpegStatus decode_ac(BitReader& bits, const HuffmanTable& ac_table,
                                      CoefficientBlock* block) {
  for (int k = 1; k < 64;) {
    k = bits.run_coefficients<kStore>(ac_table, k, kZigzagToNatural, kStore ? block->coef : nullptr);
    if (k >= 64) break;
    CoefficientEntry entry;
    JpegStatus status = bits.lookup_coefficient(ac_table, entry);
    if (status != 0) return status;
    if (entry_bits(entry) != 0) {
      bits.skip(entry_bits(entry));
      if (entry_value(entry) == 0) return 0;  // end of block
      k += entry_run(entry);
      if constexpr (kStore) block->coef[kZigzagToNatural[k]] = static_cast<int16_t>(entry_value(entry));
      ++k;
      continue;
    }
    int rs;
    status = bits.decode(ac_table, rs);
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
    status = bits.read(size, magnitude);
    if (status != 0) return status;
    if constexpr (kStore) {
      block->coef[kZigzagToNatural[k]] = static_cast<int16_t>(extend_magnitude(magnitude, size));
    }
    ++k;
  }
  return 0;
}

JpegStatus finish(JpegStatus status) { return status == kMarkerReached ? 0 : status; }

// One whole block; kMarkerReached leaves the rest of it zero.
VKT_FORCE_INLINE JpegStatus decode_block(BitReader& bits, const HuffmanTable& dc_table,
                                         const HuffmanTable& ac_table, int16_t& prediction,
                                         CoefficientBlock& block) {
  clear_block(block);
  const JpegStatus status = decode_dc(bits, dc_table, prediction);
  if (status != 0) return status;
  block.coef[0] = prediction;
  return decode_ac<true>(bits, ac_table, &block);
}

}  // namespace

JpegStatus decode_block_sequential(JpegInput& in, const HuffmanTable& dc_table,
                                   const HuffmanTable& ac_table, int16_t& prediction,
                                   CoefficientBlock& block) {
  BitReader bits(in);
  return finish(decode_block(bits, dc_table, ac_table, prediction, block));
}

JpegStatus decode_blocks_sequential(JpegInput& in, const SequentialBlock* blocks, uint32_t count,
                                    CoefficientBlock* out) {
  BitReader bits(in);
  for (uint32_t b = 0; b < count; ++b) {
    const SequentialBlock& block = blocks[b];
    const JpegStatus status = finish(decode_block(bits, *block.dc_table, *block.ac_table, *block.prediction, out[b]));
    if (status != 0) return status;
  }
  return 0;
}

JpegStatus decode_block_dc_only(JpegInput& in, const HuffmanTable& dc_table,
                                const HuffmanTable& ac_table, int16_t& prediction,
                                int16_t& dc_value) {
  dc_value = 0;
  BitReader bits(in);
  JpegStatus status = decode_dc(bits, dc_table, prediction);
  if (status != 0) return finish(status);
  dc_value = prediction;
  return finish(decode_ac<false>(bits, ac_table, nullptr));
}
