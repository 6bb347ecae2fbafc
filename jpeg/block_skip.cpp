// The block skipper (block_skip.h), on the fast bit window of
// local_bits.h.
//
// An empty block (no DC difference, then an end of block) is passed with
// one compare of its codes. An AC lookup adds the entry's steps to k
// before the bits are taken: a sum of 64 or more means the block ends
// inside the entry (a code at position 63, or corrupt runs), the entry's
// end-of-block steps or no code fitting, and only then do the entry's
// details matter.
#include "block_skip.h"

#include <cstring>

#include "bit_reader.h"
#include "local_bits.h"
#include "entropy_decode.h"
#include "entropy_tables.h"

#if defined(_MSC_VER)
#define SKIP_NOINLINE __declspec(noinline)
#else
#define SKIP_NOINLINE __attribute__((noinline))
#endif

namespace {

JpegStatus finished(JpegStatus status) { return status == kMarkerReached ? 0 : status; }

// One AC code through the ordinary reader, at zigzag position `k`.
struct SlowCode {
  JpegStatus status;
  int k;       // the position after it
  bool ended;  // an end of block
};
SKIP_NOINLINE SlowCode slow_ac(JpegInput& in, const HuffmanTable& ac_table, int k) {
  BitReader bits(in);
  int symbol;
  const JpegStatus status = bits.decode(ac_table, symbol);
  if (status != 0) return {status, k, false};
  const int size = symbol & 0x0F, run = symbol >> 4;
  if (size == 0) return {0, k + 16, run != 15};
  uint32_t magnitude;
  return {bits.read(size, magnitude), k + run + 1, false};
}

// The whole block through the ordinary DC-only decoder (slot 56's member).
SKIP_NOINLINE JpegStatus slow_block(JpegInput& in, const SkipBlock& block, int16_t& dc_value) {
  return decode_block_dc_only(in, *block.dc_table, *block.ac_table, *block.prediction, dc_value);
}

// A code the entries do not cover (longer than 12 bits, or one that
// reaches the end of the block), decoded here as the ordinary
// decoder would: `k` advances, `ended` is set at an end of block. False
// when too few bits are in hand, for the ordinary reader.
VKT_FORCE_INLINE bool one_code(LocalBits& bits, const HuffmanTable& table, int& k, bool& ended) {
  if (!bits.have(kCodeStepBits)) return false;
  const auto symbol = static_cast<uint32_t>(bits.symbol(table));
  const int size = static_cast<int>(symbol & 0x0F), run = static_cast<int>(symbol >> 4);
  if (size == 0) {
    ended = run != 15;
    k += 16;
  } else {
    bits.take(size);
    k += run + 1;
  }
  return true;
}

// One block; `dc_value` gets what slot 56 gives (0 when a marker comes
// before the DC difference).
VKT_FORCE_INLINE JpegStatus skip_one(LocalBits& bits, const SkipBlock& block, int16_t& dc_value) {
  if (bits.top_up(kCodeStepBits) && (bits.peek(32) & block.empty.mask) == block.empty.code) {
    bits.take(block.empty.bits);
    dc_value = *block.prediction;
    return 0;
  }
  if (!local_dc(bits, *block.dc_table, *block.prediction)) {
    // The whole block through the ordinary DC-only decoder.
    bits.store();
    const JpegStatus status = slow_block(bits.input(), block, dc_value);
    bits.load();
    return status;
  }
  dc_value = *block.prediction;
  const SkipEntry* const ac = block.skip->ac;
  int k = 1;
  for (;;) {
    if (bits.have(kSkipMaxBits)) {
      const SkipEntry entry = ac[bits.peek(kSkipBits)];
      const int steps = skip_entry_steps(entry);
      k += steps;
      if (k < 64) {
        bits.take(skip_entry_bits(entry));
        continue;
      }
      k -= steps;
      // An end of block that starts inside the block.
      if (steps >= kSkipEndOfBlock && steps - kSkipEndOfBlock + k < 64) {
        bits.take(skip_entry_bits(entry));
        return 0;
      }
    }
    // One code exactly as the ordinary decoder takes it.
    bool ended = false;
    if (one_code(bits, *block.ac_table, k, ended)) {
      if (ended || k >= 64) return 0;
      continue;
    }
    bits.store();
    const SlowCode code = slow_ac(bits.input(), *block.ac_table, k);
    bits.load();
    if (code.status != 0) return finished(code.status);
    if (code.ended || code.k >= 64) return 0;
    k = code.k;
  }
}

}  // namespace

JpegStatus skip_blocks(JpegInput& in, const SkipBlock* blocks, uint32_t count, uint32_t mcus,
                       int16_t* dc_values, uint32_t& passed) {
  LocalBits bits(in);
  for (passed = 0; passed < mcus; ++passed) {
    for (uint32_t b = 0; b < count; ++b) {
      int16_t dc_value;
      const JpegStatus status = skip_one(bits, blocks[b], dc_value);
      if (status < 0) {
        bits.store();
        return status;
      }
      if (dc_values != nullptr) *dc_values++ = dc_value;
    }
  }
  bits.store();
  return 0;
}
