// Skip tables and the block skipper of region reads (region_skip.h).
#include "region_skip.h"

#include <cstring>

#include "bit_reader.h"
#include "entropy_decode.h"
#include "entropy_tables.h"

namespace {

constexpr uint32_t kMask = (1u << kSkipBits) - 1;
constexpr uint32_t kEndOfBlock = 1u << 21;

// Calls take(code, length, symbol) for every code of at most kSkipBits bits.
template <typename Take>
void for_each_short_code(const HuffmanTable& table, Take take) {
  for (int length = 1; length <= kSkipBits; ++length) {
    if (table.maxcode[length] == -1) continue;
    const uint32_t first = static_cast<uint16_t>(table.mincode[length]);
    const uint32_t last = static_cast<uint16_t>(table.maxcode[length]);
    for (uint32_t code = first; code <= last; ++code) {
      const int index = table.valptr[length] + static_cast<int>(code - first);
      if (index >= 0 && index < kHuffmanMaxCodes) take(code, static_cast<uint32_t>(length), table.values[index]);
    }
  }
}

// Sets every index that starts with `code` of `length` bits.
template <typename Entry>
void spread(Entry* entries, uint32_t code, uint32_t length, Entry entry) {
  const uint32_t spare = kSkipBits - length;
  for (uint32_t i = code << spare; i < (code + 1) << spare; ++i) entries[i] = entry;
}

uint64_t load_big_endian(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return __builtin_bswap64(word);
}

// Whether any byte of `word` is 0xFF (stuffing or a marker ahead).
bool has_ff_byte(uint64_t word) {
  const uint64_t inverted = ~word;
  return ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
}

JpegStatus finished(JpegStatus status) { return status == kMarkerReached ? 0 : status; }

// One AC code through the ordinary reader; `k` advances, `ended` is set at
// EOB.
JpegStatus slow_ac(JpegInput& in, const HuffmanTable& ac_table, int& k, bool& ended) {
  BitReader bits(in);
  int symbol;
  JpegStatus status = bits.decode(ac_table, symbol);
  if (status != 0) return status;
  const int size = symbol & 0x0F, run = symbol >> 4;
  if (size == 0) {
    ended = run != 15;
    k += 16;
    return 0;
  }
  k += run + 1;
  uint32_t magnitude;
  return bits.read(size, magnitude);
}

// The input's bit state in locals, left-aligned (the next bit is bit 63,
// so a lookup is one shift and taking bits another), refilled eight bytes
// at a time while no 0xFF byte is near.
struct LocalBits {
  JpegInput& in;
  uint64_t bits;  // `count` valid bits from the top
  int count;
  const uint8_t* next;
  const uint8_t* end;

  explicit LocalBits(JpegInput& input) : in(input) { load(); }
  void load() {
    count = in.bit_count;
    bits = count > 0 ? in.bit_buffer << (64 - count) : 0;
    next = in.next;
    end = in.end;  // a file input may have refilled its buffer
  }
  void store() {
    in.bit_buffer = count > 0 ? bits >> (64 - count) : 0;
    in.bit_count = count;
    in.position += next - in.next;
    in.next = next;
  }
  // At least `wanted` (<= 56) bits, or false for the ordinary reader.
  VKT_FORCE_INLINE bool have(int wanted) {
    if (count >= wanted) return true;
    if (in.pending_marker != 0 || end - next < 8) return false;
    const uint64_t word = load_big_endian(next);
    if (has_ff_byte(word)) return false;
    const int bytes = (63 - count) >> 3;
    bits |= (word >> (64 - bytes * 8) << (64 - bytes * 8)) >> count;
    count += bytes * 8;
    next += bytes;
    return true;
  }
  VKT_FORCE_INLINE uint32_t peek(int n) const { return static_cast<uint32_t>(bits >> (64 - n)); }
  VKT_FORCE_INLINE void take(int n) {
    bits <<= n;
    count -= n;
  }
};

JpegStatus skip_one(LocalBits& bits, const SkipBlock& block) {
  const uint16_t dc = bits.have(kSkipBits + 16) ? block.skip->dc[bits.peek(kSkipBits)] : 0;
  if (dc != 0) {
    bits.take(dc & 31);
    const int size = dc >> 5;
    if (size != 0) {
      const uint32_t magnitude = bits.peek(size);
      bits.take(size);
      *block.prediction =
          static_cast<int16_t>(static_cast<uint16_t>(*block.prediction + extend_magnitude(magnitude, size)));
    }
  } else {
    // The whole block through the ordinary DC-only decoder.
    bits.store();
    int16_t dc_value = 0;
    const JpegStatus status =
        decode_block_dc_only(bits.in, *block.dc_table, *block.ac_table, *block.prediction, dc_value);
    bits.load();
    return status;
  }
  const uint32_t* const ac = block.skip->ac;
  for (int k = 1; k < 64;) {
    const uint32_t entry = bits.have(kSkipBits) ? ac[bits.peek(kSkipBits)] : 0;
    // Every code of the entry starts inside the block (k < 64).
    if (entry != 0 && k + static_cast<int>(entry >> 13 & 0xFF) < 64) {
      bits.take(static_cast<int>(entry & 31));
      if (entry & kEndOfBlock) return 0;
      k += static_cast<int>(entry >> 5 & 0xFF);
      continue;
    }
    bits.store();
    bool ended = false;
    const JpegStatus status = slow_ac(bits.in, *block.ac_table, k, ended);
    bits.load();
    if (status != 0) return finished(status);
    if (ended) return 0;
  }
  return 0;
}

}  // namespace

void build_skip_table(const HuffmanTable& dc_table, const HuffmanTable& ac_table, SkipTable& skip) {
  std::memset(&skip, 0, sizeof skip);
  for_each_short_code(dc_table, [&](uint32_t code, uint32_t length, int symbol) {
    const uint32_t size = static_cast<uint32_t>(symbol & 0x0F);
    spread(skip.dc, code, length, static_cast<uint16_t>(size << 5 | length));
  });
  // One code (with magnitude) per index first: its bits, and its step in
  // bits 5..12 (0 for EOB).
  static thread_local uint16_t single[1 << kSkipBits];
  std::memset(single, 0, sizeof single);
  for_each_short_code(ac_table, [&](uint32_t code, uint32_t length, int symbol) {
    const uint32_t size = static_cast<uint32_t>(symbol & 0x0F), run = static_cast<uint32_t>(symbol >> 4);
    if (length + size > kSkipBits) return;
    const uint32_t step = size != 0 ? run + 1 : run == 15 ? 16 : 0;
    spread(single, code, length, static_cast<uint16_t>(step << 5 | (length + size)));
  });
  // Then as many whole codes per index as fit, up to an EOB.
  for (uint32_t index = 0; index <= kMask; ++index) {
    uint32_t used = 0, steps = 0, before_last = 0, end = 0;
    while (used < kSkipBits && steps < 64) {
      const uint32_t code = single[(index << used) & kMask];
      const uint32_t bits = code & 31;
      if (code == 0 || used + bits > kSkipBits) break;
      before_last = steps;
      used += bits;
      if ((code >> 5) == 0) {
        end = kEndOfBlock;
        break;
      }
      steps += code >> 5;
    }
    skip.ac[index] = used == 0 ? 0 : end | before_last << 13 | steps << 5 | used;
  }
}

JpegStatus skip_blocks(JpegInput& in, const SkipBlock* blocks, uint32_t count, uint32_t mcus) {
  LocalBits bits(in);
  for (uint32_t m = 0; m < mcus; ++m) {
    for (uint32_t b = 0; b < count; ++b) {
      const JpegStatus status = skip_one(bits, blocks[b]);
      if (status < 0) {
        bits.store();
        return status;
      }
    }
  }
  bits.store();
  return 0;
}
