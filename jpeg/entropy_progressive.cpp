// Progressive Huffman block decoding (ITU-T T.81 G.1.2.1 DC scans, G.1.2.2
// AC first scans with end-of-band runs EOBRUN, G.1.2.3 AC refinement with
// correction bits), successive approximation bit position Al.
//
// The difficult part is the refinement walk: a new coefficient is placed
// after `r` zero-history coefficients while every already non-zero
// coefficient passed on the way takes a correction bit. The walk works on
// a mask of the block's non-zero coefficients in zigzag order
// (zigzag_mask.h): bit scans find the coefficients that take a bit, and
// clearing the lowest zero-history bits finds the new value's place, so no
// step branches on a coefficient's value. The band limits
// Ss and Se come from the scan header and are checked by the scan loop
// (1 <= Ss <= Se <= 63); any position a corrupt run produces past Se lands
// inside kZigzagToNatural's tail, so no write leaves the block.
#include <algorithm>
#include <bit>

#include "bit_reader.h"
#include "entropy_decode.h"
#include "entropy_tables.h"
#include "zigzag_mask.h"

namespace {

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

// Zigzag positions from..to (from <= 63), none when to < from.
VKT_FORCE_INLINE uint64_t positions_between(int from, int to) {
  return to < from ? 0 : (~0ull >> (63 - to)) & (~0ull << from);
}

// One correction bit for each non-zero coefficient whose zigzag position
// is set in `positions`, in zigzag order: a 1 moves the coefficient one
// step p1 = 2^Al away from 0 unless it has that bit already. The update
// is branch-free, as the bits are as unpredictable as signs.
VKT_FORCE_INLINE JpegStatus refine_nonzero(BitReader& bits, uint64_t positions, CoefficientBlock& block, int p1) {
  while (positions != 0) {
    if (bits.count() == 0) {
      const JpegStatus status = bits.fill(1);
      if (status != 0) return status;
    }
    int16_t& coef = block.coef[kZigzagToNatural[std::countr_zero(positions)]];
    positions &= positions - 1;
    const int correction = static_cast<int>(bits.take(1)) & static_cast<int>((coef & p1) == 0);
    const int step = coef >= 0 ? p1 : -p1;
    coef = static_cast<int16_t>(coef + (step & -correction));
  }
  return 0;
}

// DC first scan of one block: only coefficient 0 is written; the
// whole-image buffer starts cleared, so the AC coefficients are 0 until an
// AC scan sets them.
VKT_FORCE_INLINE JpegStatus dc_first(BitReader& bits, const HuffmanTable& dc_table, int16_t& prediction, int al,
                                     CoefficientBlock& block) {
  int symbol;
  JpegStatus status = bits.decode(dc_table, symbol);
  if (status != 0) return status;
  const int size = symbol & 0x0F;
  if (size > 0) {
    uint32_t magnitude;
    status = bits.read(size, magnitude);
    if (status != 0) return status;
    prediction = static_cast<int16_t>(static_cast<uint16_t>(prediction + extend_magnitude(magnitude, size)));
  }
  block.coef[0] = static_cast<int16_t>(static_cast<uint32_t>(prediction) << al);
  return 0;
}

VKT_FORCE_INLINE JpegStatus dc_refine(BitReader& bits, int al, CoefficientBlock& block) {
  uint32_t bit;
  const JpegStatus status = bits.read(1, bit);
  if (status != 0) return status;
  block.coef[0] = static_cast<int16_t>(block.coef[0] | (bit << al));
  return 0;
}

// AC first scan of one block that does not start inside an end-of-band run.
VKT_FORCE_INLINE JpegStatus ac_first(BitReader& bits, const HuffmanTable& ac_table, int ss, int se, int al,
                                     int32_t& eob_run, CoefficientBlock& block) {
  for (int k = ss; k <= se; ++k) {
    // A coefficient from the lookup; end-of-band runs, ZRL and the rest
    // take the ordinary path.
    CoefficientEntry entry;
    JpegStatus status = bits.lookup_coefficient(ac_table, entry);
    if (status != 0) return status;
    if (entry_bits(entry) != 0 && entry_value(entry) != 0) {
      bits.skip(entry_bits(entry));
      k += entry_run(entry);
      block.coef[kZigzagToNatural[k]] = static_cast<int16_t>(static_cast<uint32_t>(entry_value(entry)) << al);
      continue;
    }
    int rs;
    status = bits.decode(ac_table, rs);
    if (status != 0) return status;
    const int size = rs & 0x0F;
    const int run = rs >> 4;
    if (size != 0) {
      k += run;
      uint32_t magnitude;
      status = bits.read(size, magnitude);
      if (status != 0) return status;
      block.coef[kZigzagToNatural[k]] =
          static_cast<int16_t>(static_cast<uint32_t>(extend_magnitude(magnitude, size)) << al);
    } else if (run == 15) {
      k += 15;  // ZRL: sixteen zero coefficients with the loop's step
    } else {
      status = read_eob_run(bits, run, eob_run);
      if (status != 0) return status;
      --eob_run;  // this block is the first of the run
      return 0;
    }
  }
  return 0;
}

// AC refinement of one block whose zigzag non-zero mask is `nonzero`.
VKT_FORCE_INLINE JpegStatus ac_refine(BitReader& bits, const HuffmanTable& ac_table, int ss, int se, int p1,
                                      uint64_t nonzero, int32_t& eob_run, CoefficientBlock& block) {
  JpegStatus status;
  int k = ss;
  if (eob_run == 0) {
    for (; k <= se; ++k) {
      int rs;
      status = bits.decode(ac_table, rs);
      if (status != 0) return status;
      const int size = rs & 0x0F;
      int run = rs >> 4;
      int new_value = 0;
      if (size != 0) {
        // T.81 allows only size 1 here; any other size reads the same way.
        uint32_t bit;
        status = bits.read(1, bit);
        if (status != 0) return status;
        new_value = bit != 0 ? p1 : -p1;
      } else if (run != 15) {
        status = read_eob_run(bits, run, eob_run);
        if (status != 0) return status;
        break;  // the rest of the band is handled as part of the run
      }
      // Pass `run` zero-history coefficients, refining non-zero ones on the
      // way; the new value goes to the next zero-history position, or to
      // zigzag Se + 1 when the band has no more (as libjpeg places it).
      // With ZRL (run 15, no value) sixteen zero-history positions are
      // passed.
      uint64_t zeros = ~nonzero & positions_between(k, se);
      for (; run > 0 && zeros != 0; --run) zeros &= zeros - 1;
      const int target = zeros != 0 ? std::countr_zero(zeros) : se + 1;
      status = refine_nonzero(bits, nonzero & positions_between(k, target - 1), block, p1);
      if (status != 0) return status;
      k = target;
      if (new_value != 0) {
        block.coef[kZigzagToNatural[k]] = static_cast<int16_t>(new_value);
        if (k < 64) nonzero |= 1ull << k;
      }
    }
  }
  if (eob_run > 0) {
    // Inside an end-of-band run only the correction bits remain.
    if (k <= se) {
      status = refine_nonzero(bits, nonzero & positions_between(k, se), block, p1);
      if (status != 0) return status;
    }
    --eob_run;
  }
  return 0;
}

// A block routine's status in a run of blocks: a marker ends the block
// (its remaining coefficients keep their values) and the run goes on to
// the next one; input failures end the run.
VKT_FORCE_INLINE bool fails(JpegStatus status) { return status != 0 && status != kMarkerReached; }

}  // namespace

JpegStatus decode_dc_first_blocks(JpegInput& in, const ProgressiveDcBlock* blocks, uint32_t count, int al) {
  BitReader bits(in);
  for (uint32_t i = 0; i < count; ++i) {
    const ProgressiveDcBlock& b = blocks[i];
    const JpegStatus status = dc_first(bits, *b.dc_table, *b.prediction, al, *b.block);
    if (fails(status)) return status;
  }
  return 0;
}

JpegStatus decode_dc_refine_blocks(JpegInput& in, const ProgressiveDcBlock* blocks, uint32_t count, int al) {
  BitReader bits(in);
  for (uint32_t i = 0; i < count; ++i) {
    const JpegStatus status = dc_refine(bits, al, *blocks[i].block);
    if (fails(status)) return status;
  }
  return 0;
}

JpegStatus decode_ac_first_blocks(JpegInput& in, const HuffmanTable& ac_table, int ss, int se, int al,
                                  CoefficientBlock* blocks, uint32_t count) {
  BitReader bits(in);
  int32_t eob_run = in.eob_run;
  for (uint32_t i = 0; i < count; ++i) {
    if (eob_run > 0) {
      // The blocks of an end-of-band run keep their band at 0: pass them.
      const uint32_t passed = std::min<uint32_t>(static_cast<uint32_t>(eob_run), count - i);
      eob_run -= static_cast<int32_t>(passed);
      i += passed - 1;
      continue;
    }
    const JpegStatus status = ac_first(bits, ac_table, ss, se, al, eob_run, blocks[i]);
    if (fails(status)) {
      in.eob_run = eob_run;
      return status;
    }
  }
  in.eob_run = eob_run;
  return 0;
}

JpegStatus decode_ac_refine_blocks(JpegInput& in, const HuffmanTable& ac_table, int ss, int se, int al,
                                   NonzeroMask nonzero_of, CoefficientBlock* blocks, uint32_t count) {
  BitReader bits(in);
  int32_t eob_run = in.eob_run;
  const uint64_t band = positions_between(ss, se);
  const int p1 = 1 << al;  // +1 at bit position Al
  for (uint32_t i = 0; i < count; ++i) {
    // Zigzag positions of the non-zero coefficients; those outside 1..63
    // never matter, as k stays in Ss..Se.
    const uint64_t nonzero = zigzag_order_of(nonzero_of(blocks[i]));
    if (eob_run > 0 && (nonzero & band) == 0) {
      // A block of an end-of-band run with nothing to refine reads no bits.
      --eob_run;
      continue;
    }
    const JpegStatus status = ac_refine(bits, ac_table, ss, se, p1, nonzero, eob_run, blocks[i]);
    if (fails(status)) {
      in.eob_run = eob_run;
      return status;
    }
  }
  in.eob_run = eob_run;
  return 0;
}
