// Progressive Huffman block decoding (ITU-T T.81 G.1.2.1 DC scans, G.1.2.2
// AC first scans with end-of-band runs EOBRUN, G.1.2.3 AC refinement with
// correction bits), successive approximation bit position Al.
//
// The difficult part is the refinement walk: a new coefficient is placed
// after `r` zero-history coefficients while every already non-zero
// coefficient passed on the way takes a correction bit. The band limits
// Ss and Se come from the scan header and are checked by the scan loop
// (1 <= Ss <= Se <= 63); any position a corrupt run produces past Se lands
// inside kZigzagToNatural's tail, so no write leaves the block.
#include "bit_reader.h"
#include "entropy_decode.h"
#include "entropy_tables.h"

namespace {

JpegStatus finish(JpegStatus status) { return status == kMarkerReached ? 0 : status; }

// EOBRUN for the symbol RRRR0000 with RRRR = r < 15 (T.81 G.1.2.2,
// Table G.1): 2^r plus r more bits, counting the current block.
VKT_FORCE_INLINE JpegStatus read_eob_run(BitReader& bits, int r, int32_t& eob_run) {
  uint32_t extra = 0;
  if (r > 0) {
    const JpegStatus status = bits.read(r, extra);
    if (status != 0) return status;
  }
  eob_run = (1 << r) + static_cast<int32_t>(extra);
  return 0;
}

// Correction bit for an already non-zero coefficient: when it is 1 and the
// coefficient has no bit at Al yet, move the magnitude one step away from 0.
VKT_FORCE_INLINE JpegStatus refine_nonzero(BitReader& bits, int16_t& coef, int p1, int m1) {
  uint32_t bit;
  const JpegStatus status = bits.read(1, bit);
  if (status != 0) return status;
  if (bit != 0 && (coef & p1) == 0)
    coef = static_cast<int16_t>(coef + (coef >= 0 ? p1 : m1));
  return 0;
}

// The refinement walk from position k (BitReader::refine_walk), refining
// with read where no bit is buffered. Leaves k at the zero-history
// coefficient that takes `run` below 0, or at se + 1.
VKT_FORCE_INLINE JpegStatus walk(BitReader& bits, int& k, int se, int& run, CoefficientBlock& block, int p1, int m1) {
  for (;;) {
    k = bits.refine_walk(k, se, run, block.coef, kZigzagToNatural, p1);
    if (k > se || block.coef[kZigzagToNatural[k]] == 0) return 0;
    const JpegStatus status = refine_nonzero(bits, block.coef[kZigzagToNatural[k]], p1, m1);
    if (status != 0) return status;
    ++k;
  }
}

}  // namespace

JpegStatus decode_dc_first(JpegInput& in, const HuffmanTable& dc_table,
                           int16_t& prediction, int al, CoefficientBlock& block) {
  clear_block(block);
  BitReader bits(in);
  int symbol;
  JpegStatus status = bits.decode(dc_table, symbol);
  if (status != 0) return finish(status);
  const int size = symbol & 0x0F;
  if (size > 0) {
    uint32_t magnitude;
    status = bits.read(size, magnitude);
    if (status != 0) return finish(status);
    prediction = static_cast<int16_t>(
        static_cast<uint16_t>(prediction + extend_magnitude(magnitude, size)));
  }
  block.coef[0] = static_cast<int16_t>(static_cast<uint32_t>(prediction) << al);
  return 0;
}

JpegStatus decode_dc_refine(JpegInput& in, int al, CoefficientBlock& block) {
  BitReader bits(in);
  uint32_t bit;
  const JpegStatus status = bits.read(1, bit);
  if (status != 0) return finish(status);
  if (bit != 0) block.coef[0] = static_cast<int16_t>(block.coef[0] | (1 << al));
  return 0;
}

JpegStatus decode_ac_first(JpegInput& in, const HuffmanTable& ac_table,
                           int ss, int se, int al, CoefficientBlock& block) {
  if (in.eob_run > 0) {
    --in.eob_run;
    return 0;
  }
  BitReader bits(in);
  for (int k = ss; k <= se; ++k) {
    // A coefficient from the lookup; end-of-band runs, ZRL and the rest
    // take the ordinary path.
    CoefficientEntry entry;
    JpegStatus status = bits.lookup_coefficient(ac_table, entry);
    if (status != 0) return finish(status);
    if (entry_bits(entry) != 0 && entry_value(entry) != 0) {
      bits.skip(entry_bits(entry));
      k += entry_run(entry);
      block.coef[kZigzagToNatural[k]] = static_cast<int16_t>(static_cast<uint32_t>(entry_value(entry)) << al);
      continue;
    }
    int rs;
    status = bits.decode(ac_table, rs);
    if (status != 0) return finish(status);
    const int size = rs & 0x0F;
    const int run = rs >> 4;
    if (size != 0) {
      k += run;
      uint32_t magnitude;
      status = bits.read(size, magnitude);
      if (status != 0) return finish(status);
      block.coef[kZigzagToNatural[k]] = static_cast<int16_t>(
          static_cast<uint32_t>(extend_magnitude(magnitude, size)) << al);
    } else if (run == 15) {
      k += 15;  // ZRL: sixteen zero coefficients with the loop's step
    } else {
      status = read_eob_run(bits, run, in.eob_run);
      if (status != 0) return finish(status);
      --in.eob_run;  // this block is the first of the run
      return 0;
    }
  }
  return 0;
}

JpegStatus decode_ac_refine(JpegInput& in, const HuffmanTable& ac_table,
                            int ss, int se, int al, CoefficientBlock& block) {
  const int p1 = 1 << al;    // +1 at bit position Al
  const int m1 = -1 * p1;    // -1 at bit position Al
  BitReader bits(in);
  JpegStatus status;
  int k = ss;
  if (in.eob_run == 0) {
    for (; k <= se; ++k) {
      int rs;
      status = bits.decode(ac_table, rs);
      if (status != 0) return finish(status);
      const int size = rs & 0x0F;
      int run = rs >> 4;
      int new_value = 0;
      if (size != 0) {
        // T.81 allows only size 1 here; any other size reads the same way.
        uint32_t bit;
        status = bits.read(1, bit);
        if (status != 0) return finish(status);
        new_value = bit != 0 ? p1 : m1;
      } else if (run != 15) {
        status = read_eob_run(bits, run, in.eob_run);
        if (status != 0) return finish(status);
        break;  // the rest of the band is handled as part of the run
      }
      // Pass `run` zero-history coefficients, refining non-zero ones on the
      // way; the new value goes to the next zero-history position. With
      // ZRL (run 15, no value) sixteen zero-history positions are passed.
      status = walk(bits, k, se, run, block, p1, m1);
      if (status != 0) return finish(status);
      if (new_value != 0) block.coef[kZigzagToNatural[k]] = static_cast<int16_t>(new_value);
    }
  }
  if (in.eob_run > 0) {
    // Inside an end-of-band run only the correction bits remain.
    int no_limit = 64;
    status = walk(bits, k, se, no_limit, block, p1, m1);
    if (status != 0) return finish(status);
    --in.eob_run;
  }
  return 0;
}
