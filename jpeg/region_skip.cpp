// Skip tables and the block skipper of region reads (region_skip.h).
#include "region_skip.h"

#include <cstring>

#include "bit_reader.h"
#include "entropy_tables.h"

namespace {

constexpr uint32_t kEndOfBlock = 1u << 21;

// One code with its magnitude per index (first code only): its bits in
// bits 0..4, its step in bits 5..12 (0 for EOB); 0 when it does not fit.
void build_single(const HuffmanTable& ac_table, uint16_t* single) {
  for (int length = 1; length <= kSkipBits; ++length) {
    if (ac_table.maxcode[length] == -1) continue;
    const uint32_t first = static_cast<uint16_t>(ac_table.mincode[length]);
    const uint32_t last = static_cast<uint16_t>(ac_table.maxcode[length]);
    for (uint32_t code = first; code <= last; ++code) {
      const int index = ac_table.valptr[length] + static_cast<int>(code - first);
      if (index < 0 || index >= kHuffmanMaxCodes) continue;
      const int symbol = ac_table.values[index];
      const int size = symbol & 0x0F, run = symbol >> 4;
      if (length + size > kSkipBits) continue;
      const uint32_t step = size != 0 ? run + 1 : run == 15 ? 16 : 0;
      const uint16_t entry = static_cast<uint16_t>(step << 5 | static_cast<uint32_t>(length + size));
      const uint32_t spare = kSkipBits - length;
      for (uint32_t i = code << spare; i < (code + 1) << spare; ++i) single[i] = entry;
    }
  }
}

}  // namespace

void build_skip_table(const HuffmanTable& ac_table, SkipTable& skip) {
  constexpr uint32_t kMask = (1u << kSkipBits) - 1;
  static thread_local uint16_t single[1 << kSkipBits];
  std::memset(single, 0, sizeof single);
  build_single(ac_table, single);
  for (uint32_t index = 0; index <= kMask; ++index) {
    uint32_t used = 0, steps = 0, before_last = 0, end = 0;
    while (used < kSkipBits && steps < 64) {
      const uint32_t code = single[(index << used) & kMask];
      const uint32_t bits = code & 31;
      if (code == 0 || used + bits > kSkipBits) break;  // not whole within the index
      before_last = steps;
      used += bits;
      if ((code >> 5) == 0) {
        end = kEndOfBlock;
        break;
      }
      steps += code >> 5;
    }
    skip.entries[index] = used == 0 ? 0 : end | before_last << 13 | steps << 5 | used;
  }
}

JpegStatus skip_block(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                      const SkipTable& skip, int16_t& prediction) {
  BitReader bits(in);
  auto done = [](JpegStatus status) { return status == kMarkerReached ? 0 : status; };
  int symbol;
  JpegStatus status = bits.decode(dc_table, symbol);
  if (status != 0) return done(status);
  int size = symbol & 0x0F;
  uint32_t magnitude;
  if (size != 0) {
    status = bits.read(size, magnitude);
    if (status != 0) return done(status);
    prediction = static_cast<int16_t>(static_cast<uint16_t>(prediction + extend_magnitude(magnitude, size)));
  }
  for (int k = 1; k < 64;) {
    if (bits.count() < kSkipBits) {
      status = bits.fill(0);
      if (status < 0) return status;
    }
    if (bits.count() >= kSkipBits) {
      // Every code of the entry starts inside the block (k < 64).
      const uint32_t entry = skip.entries[bits.peek(kSkipBits)];
      if (entry != 0 && k + static_cast<int>(entry >> 13 & 0xFF) < 64) {
        bits.take(static_cast<int>(entry & 31));
        if (entry & (1u << 21)) return 0;
        k += static_cast<int>(entry >> 5 & 0xFF);
        continue;
      }
    }
    status = bits.decode(ac_table, symbol);
    if (status != 0) return done(status);
    size = symbol & 0x0F;
    const int run = symbol >> 4;
    if (size == 0) {
      if (run != 15) return 0;  // EOB
      k += 16;                  // ZRL
      continue;
    }
    k += run + 1;
    status = bits.read(size, magnitude);
    if (status != 0) return done(status);
  }
  return 0;
}
