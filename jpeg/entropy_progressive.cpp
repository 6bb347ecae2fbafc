// Progressive Huffman block decoding (ITU-T T.81 G.1.2.1 DC scans, G.1.2.2
// AC first scans with end-of-band runs EOBRUN, G.1.2.3 AC refinement with
// correction bits), successive approximation bit position Al.
//
// The difficult part is the refinement walk: a new coefficient is placed
// after `r` zero-history coefficients while every already non-zero
// coefficient passed on the way takes a correction bit. The walk works on
// a mask of the block's non-zero coefficients in zigzag order
// (zigzag_mask.h): the new value's place comes from rank lookups on the
// zero-history bits, the count of correction bits passed from the place,
// and the block's correction bits, read in groups as the walk passes
// them, are applied by bit scans once its walk ends, so no step branches
// on a coefficient's value. The band limits
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

// kByteRanks.position[v][r]: the bit position of the r-th (from 0) set bit
// of v, and kByteRanks.count[v] the number of set bits of v.
struct ByteRanks {
  uint8_t position[256][8];
  uint8_t count[256];
};
constexpr ByteRanks make_byte_ranks() {
  ByteRanks ranks{};
  for (int value = 0; value < 256; ++value) {
    int count = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (value & (1 << bit)) ranks.position[value][count++] = static_cast<uint8_t>(bit);
    ranks.count[value] = static_cast<uint8_t>(count);
  }
  return ranks;
}
alignas(64) constinit const ByteRanks kByteRanks = make_byte_ranks();

// The zigzag position of the zero-history coefficient a run of `run`
// (0..15) zero-history coefficients from position k leads to, `zeros`
// being the band's zero-history positions from k on; Se + 1 when the band
// has no more. `passed_zeros` is set to the zero-history positions passed.
// A loop clearing one bit per step mispredicts at its end on nearly every
// symbol, as runs vary; the next 16 positions hold the target for nearly
// every run, and there two byte lookups and selects find it without a
// branch on the run.
VKT_FORCE_INLINE int run_target(uint64_t zeros, int k, int run, int se, int& passed_zeros) {
  const auto window = static_cast<uint32_t>(zeros >> k) & 0xFFFF;
  const uint32_t low = window & 0xFF, high = window >> 8;
  const int low_count = kByteRanks.count[low];
  if (run < low_count + kByteRanks.count[high]) {
    const bool in_high = run >= low_count;
    const int rank = in_high ? run - low_count : run;
    passed_zeros = run;
    return k + (in_high ? 8 : 0) + kByteRanks.position[in_high ? high : low][rank];
  }
  int remaining = run;
  for (; remaining > 0 && zeros != 0; --remaining) zeros &= zeros - 1;
  passed_zeros = run - remaining;
  if (zeros != 0) return std::countr_zero(zeros);
  return se + 1;
}

// Zigzag positions from..to (from <= 63), none when to < from.
VKT_FORCE_INLINE uint64_t positions_between(int from, int to) {
  return to < from ? 0 : (~0ull >> (63 - to)) & (~0ull << from);
}

// The correction bits a refinement has read for a block, in stream order
// (the last one lowest): one per coefficient that was non-zero before the
// scan, in zigzag order, up to 63.
struct CorrectionBits {
  uint64_t bits = 0;
  int count = 0;
};

// Reads the correction bits of the next n already non-zero coefficients
// (T.81 G.1.2.3) into `corrections`, up to 32 per fill check. Where a
// marker or a failure leaves fewer bits, those there are read and the
// status ends the block.
VKT_FORCE_INLINE JpegStatus read_corrections(BitReader& bits, int n, CorrectionBits& corrections) {
  for (;;) {
    const int wanted = std::min(n, 32);
    const JpegStatus status = bits.need(wanted);
    const int available = status == 0 ? wanted : std::min(bits.count(), wanted);
    corrections.bits = (corrections.bits << available) | bits.take_up_to_32(available);
    corrections.count += available;
    n -= wanted;
    if (status != 0 || n <= 0) return status;
  }
}

// Applies the correction bits to the block's coefficients that were non-zero
// before the scan, `positions` in zigzag order, the first bit to the first:
// a 1 moves a coefficient one step p1 = 2^Al away from 0 unless it has that
// bit already. Applying them once per block, after its new values are
// placed, keeps the walk free of a loop per run (new values only go where
// the coefficients were zero, so the order does not matter). The update is
// branch-free, as the bits are as unpredictable as signs.
VKT_FORCE_INLINE void apply_corrections(uint64_t positions, const CorrectionBits& corrections,
                                        CoefficientBlock& block, int p1) {
  if (corrections.count == 0) return;
  uint64_t word = corrections.bits << (64 - corrections.count);  // the first bit on top
  for (int i = 0; i < corrections.count; ++i) {
    int16_t& coef = block.coef[kZigzagToNatural[std::countr_zero(positions)]];
    positions &= positions - 1;
    const int correction = static_cast<int>(word >> 63) & static_cast<int>((coef & p1) == 0);
    word <<= 1;
    const int step = coef >= 0 ? p1 : -p1;
    coef = static_cast<int16_t>(coef + (step & -correction));
  }
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

// next_refinement_symbol's answer for the symbol of an end-of-band run.
constexpr JpegStatus kEndOfBandRun = 101;

// The next refinement symbol: its run RRRR and new value (+-p1 with its
// sign bit; 0 for ZRL), or kEndOfBandRun with `run` RRRR. Most symbols come
// whole from the coefficient lookup: a new value (size 1, its sign bit
// included) or an end-of-band run's symbol (value 0); ZRL and long codes
// take DECODE. T.81 allows only size 1 here; a larger size reads one bit
// all the same, so its lookup entry (more magnitude bits) is not used.
VKT_FORCE_INLINE JpegStatus next_refinement_symbol(BitReader& bits, const HuffmanTable& ac_table, int p1, int& run,
                                                   int& new_value) {
  CoefficientEntry entry;
  JpegStatus status = bits.lookup_coefficient(ac_table, entry);
  if (status != 0) return status;
  const int value = entry_value(entry);
  if (entry_bits(entry) != 0 && value >= -1 && value <= 1) {
    bits.skip(entry_bits(entry));
    run = entry_run(entry);
    new_value = value * p1;
    return value == 0 ? kEndOfBandRun : 0;
  }
  int rs;
  status = bits.decode(ac_table, rs);
  if (status != 0) return status;
  run = rs >> 4;
  new_value = 0;
  if ((rs & 0x0F) != 0) {
    uint32_t bit;
    status = bits.read(1, bit);
    if (status != 0) return status;
    new_value = bit != 0 ? p1 : -p1;
    return 0;
  }
  return run == 15 ? 0 : kEndOfBandRun;
}

// AC refinement of one block whose zigzag non-zero mask is `nonzero`: the
// walk through the band, then the corrections.
VKT_FORCE_INLINE JpegStatus ac_refine_walk(BitReader& bits, const HuffmanTable& ac_table, int ss, int se, int p1,
                                           uint64_t nonzero, int32_t& eob_run, CorrectionBits& corrections,
                                           CoefficientBlock& block) {
  JpegStatus status;
  int k = ss;
  if (eob_run == 0) {
    for (; k <= se; ++k) {
      int run = 0, new_value = 0;
      status = next_refinement_symbol(bits, ac_table, p1, run, new_value);
      if (status == kEndOfBandRun) {
        status = read_eob_run(bits, run, eob_run);
        if (status != 0) return status;
        break;  // the rest of the band is handled as part of the run
      }
      if (status != 0) return status;
      // Pass `run` zero-history coefficients, reading the correction bits
      // of the non-zero ones on the way; the new value goes to the next
      // zero-history position, or to zigzag Se + 1 when the band has no
      // more (as libjpeg places it). With ZRL (run 15, no value) sixteen
      // zero-history positions are passed. The positions passed are
      // zero-history or were non-zero before the scan (the new values so
      // far all lie before k).
      int passed_zeros;
      const int target = run_target(~nonzero & positions_between(k, se), k, run, se, passed_zeros);
      const int passed_nonzero = target - k - passed_zeros;
      if (passed_nonzero != 0) {
        status = read_corrections(bits, passed_nonzero, corrections);
        if (status != 0) return status;
      }
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
      status = read_corrections(bits, std::popcount(nonzero & positions_between(k, se)), corrections);
      if (status != 0) return status;
    }
    --eob_run;
  }
  return 0;
}

VKT_FORCE_INLINE JpegStatus ac_refine(BitReader& bits, const HuffmanTable& ac_table, int ss, int se, int p1,
                                      uint64_t nonzero, int32_t& eob_run, CoefficientBlock& block) {
  CorrectionBits corrections;
  const JpegStatus status = ac_refine_walk(bits, ac_table, ss, se, p1, nonzero, eob_run, corrections, block);
  apply_corrections(nonzero & positions_between(ss, se), corrections, block, p1);
  return status;
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
    const uint64_t nonzero = nonzero_of(blocks[i]);
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
