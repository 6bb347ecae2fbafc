// The block skipper (block_skip.h).
//
// The bit state is held left-aligned in a local: the next bit is bit 63,
// so a lookup is one shift and taking bits another. The refill loads eight
// bytes at once while none of them is 0xFF, and ORs them in below the
// valid bits; bytes beyond those it counts land below the count, where the
// next refill ORs the same bytes again. Stuffed 0xFF 0x00 pairs are taken
// byte by byte here too; a marker, the last byte of the input and file
// refills are left to the ordinary reader.
//
// An AC lookup adds the entry's steps to k before the bits are taken: a
// sum of 64 or more means the block ends inside the entry (a code at
// position 63, or corrupt runs), the entry's end-of-block steps or no code
// fitting, and only then do the entry's details matter.
#include "block_skip.h"

#include <cstring>

#include "bit_reader.h"
#include "entropy_decode.h"
#include "entropy_tables.h"

#if defined(_MSC_VER)
#define SKIP_NOINLINE __declspec(noinline)
#else
#define SKIP_NOINLINE __attribute__((noinline))
#endif

namespace {

JpegStatus finished(JpegStatus status) { return status == kMarkerReached ? 0 : status; }

// Whether any byte of `word` is 0xFF (stuffing or a marker ahead).
VKT_FORCE_INLINE bool has_ff_byte(uint64_t word) {
  const uint64_t inverted = ~word;
  return ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
}

// Bits a DC difference needs at most on the fast path: a code of the
// symbol lookup and a 15-bit magnitude.
constexpr int kDcBits = kHuffmanFastBits + 15;

class LocalBits {
 public:
  explicit LocalBits(JpegInput& input) : in_(input) { load(); }

  // Takes the input's state (again, after the ordinary reader ran).
  VKT_FORCE_INLINE void load() {
    count_ = in_.bit_count;
    bits_ = count_ > 0 ? in_.bit_buffer << (64 - count_) : 0;
    next_ = in_.next;
    // No byte is taken here once a marker is pending; a file input may have
    // refilled its buffer.
    end_ = in_.pending_marker != 0 ? in_.next : in_.end;
  }
  VKT_FORCE_INLINE void store() {
    in_.bit_buffer = count_ > 0 ? bits_ >> (64 - count_) : 0;
    in_.bit_count = count_;
    in_.position += next_ - in_.next;
    in_.next = next_;
  }
  JpegInput& input() { return in_; }

  // At least `wanted` (<= 56) bits, or false for the ordinary reader.
  VKT_FORCE_INLINE bool have(int wanted) {
    if (count_ >= wanted) return true;
    if (end_ - next_ >= 8) {
      uint64_t word;
      std::memcpy(&word, next_, sizeof word);
      if (!has_ff_byte(word)) {
        bits_ |= __builtin_bswap64(word) >> count_;
        next_ += (63 - count_) >> 3;
        count_ |= 56;
        return true;
      }
    }
    return fill_bytes(wanted);
  }
  VKT_FORCE_INLINE uint32_t peek(int n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }
  VKT_FORCE_INLINE void take(int n) {
    bits_ <<= n;
    count_ -= n;
  }

 private:
  // Byte by byte up to a marker or the last byte of the input.
  bool fill_bytes(int wanted) {
    bits_ = count_ > 0 ? bits_ >> (64 - count_) << (64 - count_) : 0;  // only stream bytes below from here on
    while (count_ <= 56 && end_ - next_ >= 2) {
      const uint8_t byte = next_[0];
      if (byte == 0xFF) {
        if (next_[1] != 0x00) break;
        next_ += 2;
      } else {
        next_ += 1;
      }
      bits_ |= uint64_t{byte} << (56 - count_);
      count_ += 8;
    }
    return count_ >= wanted;
  }

  JpegInput& in_;
  uint64_t bits_;  // `count_` valid bits from the top
  int count_;
  const uint8_t* next_;
  const uint8_t* end_;
};

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
VKT_FORCE_INLINE bool one_code(LocalBits& bits, const HuffmanTable& table, const SkipTable& skip, int& k,
                               bool& ended) {
  // A 16-bit code and a 15-bit magnitude.
  if (!bits.have(31)) return false;
  const uint32_t next = bits.peek(16);
  uint32_t symbol;
  int length;
  const SymbolEntry fast = table.fast[next >> (16 - kHuffmanFastBits)];
  if (fast != 0) {
    length = symbol_entry_length(fast);
    symbol = static_cast<uint32_t>(symbol_entry_symbol(fast));
  } else {
    length = kHuffmanFastBits + 1;
    while (length <= 16 && next >= skip.limit[length]) ++length;
    if (length > 16) {
      length = 16;  // no code matches: 16 bits, symbol 0
      symbol = 0;
    } else {
      const int32_t index = skip.offset[length] + static_cast<int32_t>(next >> (16 - length));
      symbol = index >= 0 && index < kHuffmanMaxCodes ? table.values[index] : 0;
    }
  }
  bits.take(length);
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

// The DC difference into the prediction; false when the ordinary decoder
// must take the block.
VKT_FORCE_INLINE bool skip_dc(LocalBits& bits, const HuffmanTable& dc_table, int16_t& prediction) {
  if (!bits.have(kDcBits)) return false;
  const CoefficientEntry entry = dc_table.coefficients[bits.peek(kHuffmanCoefficientBits)];
  if (entry_bits(entry) != 0) {
    bits.take(entry_bits(entry));
    prediction = static_cast<int16_t>(static_cast<uint16_t>(prediction + entry_value(entry)));
    return true;
  }
  const SymbolEntry code = dc_table.fast[bits.peek(kHuffmanFastBits)];
  if (code == 0) return false;
  bits.take(symbol_entry_length(code));
  const int size = symbol_entry_symbol(code) & 0x0F;
  if (size != 0) {
    const uint32_t magnitude = bits.peek(size);
    bits.take(size);
    prediction = static_cast<int16_t>(static_cast<uint16_t>(prediction + extend_magnitude(magnitude, size)));
  }
  return true;
}

// One block; `dc_value` gets what slot 56 gives (0 when a marker comes
// before the DC difference).
VKT_FORCE_INLINE JpegStatus skip_one(LocalBits& bits, const SkipBlock& block, int16_t& dc_value) {
  if (!skip_dc(bits, *block.dc_table, *block.prediction)) {
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
    if (one_code(bits, *block.ac_table, *block.skip, k, ended)) {
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
