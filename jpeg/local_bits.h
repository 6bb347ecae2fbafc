// The entropy decoders' fast bit window (ITU-T T.81 F.2.2.5 NEXTBIT with
// byte stuffing, F.2.2.3 DECODE), for the block loops that run while the
// data is plain: the sequential block decoder and the block skipper.
//
// The bit state is held left-aligned in a local: the next bit is bit 63,
// so a lookup is one shift and taking bits another. The refill loads eight
// bytes at once while none of them is 0xFF, and ORs them in below the
// valid bits; bytes beyond those it counts land below the count, where the
// next refill ORs the same bytes again. Stuffed 0xFF 0x00 pairs are taken
// byte by byte here too; a marker, the last byte of the input and file
// refills are left to the ordinary reader (BitReader): when a loop cannot
// get the bits it needs here it stores the state back and lets that reader
// go on from the same bit.
#pragma once
#include <cstdint>
#include <cstring>

#include "bit_reader.h"
#include "huffman_table.h"
#include "entropy_tables.h"
#include "jpeg_input.h"

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
    return top_up(wanted);
  }
  // Tops the bits up to 56 or more whatever the count, without a branch
  // on it when the next 8 bytes are plain: a loop that refills at fixed
  // points (each block, each group of lookups) then has no branch whose
  // outcome follows the varying code lengths. False, as have(), when
  // fewer than `wanted` bits can be had here.
  VKT_FORCE_INLINE bool top_up(int wanted) {
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
  int count() const { return count_; }
  VKT_FORCE_INLINE uint32_t peek(int n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }
  VKT_FORCE_INLINE void take(int n) {
    bits_ <<= n;
    count_ -= n;
  }
  // Takes the bits of a coefficient lookup entry: they fill its low byte
  // alone, so the entry itself is the shift count.
  // (A coefficient or a pair lookup entry.)
  template <typename Entry>
  VKT_FORCE_INLINE void take_entry(Entry entry) {
    bits_ <<= entry & 63;
    count_ -= static_cast<int>(entry & 0xFF);
  }

  // DECODE: the symbol of the next code, its bits taken; needs 16 bits in
  // hand. A code that matches no length up to 16 takes 16 bits and
  // decodes as symbol 0, as in the ordinary reader.
  VKT_FORCE_INLINE int symbol(const HuffmanTable& table) {
    const SymbolEntry entry = table.fast[peek(kHuffmanFastBits)];
    if (entry != 0) {
      take(symbol_entry_length(entry));
      return symbol_entry_symbol(entry);
    }
    return long_symbol(table);
  }

 private:
  // A code longer than the symbol lookup: its length is one plus the count
  // of the table's limits the next 16 bits reach, counted without a branch
  // per length (the limits never decrease).
  VKT_FORCE_INLINE int long_symbol(const HuffmanTable& table) {
    const uint32_t next = peek(16);
    int length = kHuffmanFastBits + 1;
    for (int l = kHuffmanFastBits + 1; l <= 16; ++l) length += next >= table.limit[l] ? 1 : 0;
    if (length > 16) {
      take(16);
      return 0;
    }
    take(length);
    const int32_t index = table.offset[length] + static_cast<int32_t>(next >> (16 - length));
    return index >= 0 && index < kHuffmanMaxCodes ? table.values[index] : 0;
  }

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

// Bits one Huffman code and its magnitude take at most: a 16-bit code and
// a 15-bit magnitude.
constexpr int kCodeStepBits = 16 + 15;

// The DC difference (T.81 F.2.2.1, table Td) added to `prediction`, its
// code and magnitude taken; false, with nothing taken, when the ordinary
// reader must decode it.
// kTopUp: refill whatever the count (see LocalBits::top_up).
template <bool kTopUp = false>
VKT_FORCE_INLINE bool local_dc(LocalBits& bits, const HuffmanTable& dc_table, int16_t& prediction) {
  if (!(kTopUp ? bits.top_up(kCodeStepBits) : bits.have(kCodeStepBits))) return false;
  const CoefficientEntry entry = dc_table.coefficients[bits.peek(kHuffmanCoefficientBits)];
  int32_t difference;
  if (entry_bits(entry) != 0) {
    bits.take_entry(entry);
    difference = entry_value(entry);
  } else {
    const int size = bits.symbol(dc_table) & 0x0F;
    difference = size == 0 ? 0 : extend_magnitude(bits.peek(size), size);
    bits.take(size);
  }
  prediction = static_cast<int16_t>(static_cast<uint16_t>(prediction + difference));
  return true;
}
