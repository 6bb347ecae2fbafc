// Bit reader for Huffman-coded entropy data (ITU-T T.81 F.2.2.4 and
// F.2.2.5: NEXTBIT with byte stuffing, Figure F.18; markers inside entropy
// data, B.1.1.5), and the Huffman DECODE procedure (F.2.2.3, Figure F.16)
// with a 10-bit lookup table in front of it.
//
// A BitReader copies the bit state of a JpegInput into locals when a block
// routine starts and writes it back when the routine ends, so the hot loop
// works on registers. The input keeps its `bit_count` bits in the low end
// of `bit_buffer`; the reader keeps them at the top of its own buffer (the
// next bit is bit 63), so a lookup is one shift of the buffer and taking
// bits another, without the count in the chain from one symbol to the
// next. Below its `count_` bits the reader's buffer may hold the stream's
// following bits already (a plain refill loads eight bytes and counts
// fewer); a later refill ORs the same bits over them.
//
// Refilling has two paths. The fast path runs when no marker is pending and
// at least 16 bytes are buffered: it appends up to 8 bytes (enough to bring
// the buffer from any count to more than 56 bits, even if every byte were a
// stuffed 0xFF 0x00 pair) without checking the end of the input per byte,
// and stops at the first 0xFF that is not stuffing. Everything else (a
// marker, the end of the buffer, a file refill) goes through the exact
// byte-by-byte reader. Filling up to 57..64 bits means one refill serves a
// longest code (16 bits) plus a largest magnitude (15 bits), i.e. a whole
// coefficient, with room to spare for the next symbol's 10-bit lookup.
//
// Reaching a marker is not an error: the reader parks the marker code in
// `pending_marker`, and a read that needs bits beyond the last data byte
// reports kMarkerReached (100), which the block routines turn into "block
// done, success". A buffer input that ends without a marker reads as zero
// bits from there on.
#pragma once
#include <cstdint>
#include <cstring>

#include "force_inline.h"
#include "huffman_table.h"
#include "jpeg_input.h"
#include "vktjpeg.h"

// The bit reader met a marker before the wanted number of bits was
// available. Never leaves the block routines.
constexpr JpegStatus kMarkerReached = 100;

// Whether any byte of `word` is 0xFF (stuffing or a marker ahead): a byte
// of ~word is zero exactly where a byte of word is 0xFF.
VKT_FORCE_INLINE bool has_ff_byte(uint64_t word) {
  const uint64_t inverted = ~word;
  return ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
}

// The common refill, inline: when the next 8 bytes hold no 0xFF (no
// stuffing, no marker) and at least 16 bytes are buffered, appends as many
// of them as the byte-by-byte fill would, (64 - count) / 8, at once.
// False, with nothing changed, when the byte-by-byte fill must run.
// `buffer` holds its `count` (0..56) bits at the top.
VKT_FORCE_INLINE bool append_plain_bytes(uint64_t& buffer, int& count, const uint8_t*& next,
                                         const uint8_t* end) {
  if (end - next < 16) return false;
  uint64_t word;
  std::memcpy(&word, next, sizeof word);
  if (has_ff_byte(word)) return false;
  word = __builtin_bswap64(word);  // stream order: first byte most significant
  buffer |= word >> count;
  const int bytes = (64 - count) >> 3;
  count += 8 * bytes;
  next += bytes;
  return true;
}

// The bit reader's working copy of the input's bit state.
struct BitState {
  uint64_t buffer;
  int count;
  const uint8_t* next;
  const uint8_t* end;
  const uint8_t* taken_from;  // `next` when the input's position was last updated
};

// Out-of-line parts of the reader, on a copy of its state so that the
// reader's own state never has its address taken and stays in registers.
// bit_fill: appends bytes until more than 56 bits are buffered, a marker is
// met or the input ends; returns kMarkerReached when a marker stops it with
// fewer than `wanted` bits, a negative status when a file refill fails with
// fewer than `wanted` bits, else 0.
JpegStatus bit_fill(JpegInput& input, BitState& state, int wanted);
// The length-by-length search of DECODE from code length `first_length`.
JpegStatus bit_decode_slow(JpegInput& input, BitState& state, const HuffmanTable& table,
                           int first_length, int& symbol);
// Writes the state back into the input (bit buffer, count, next, position).
VKT_FORCE_INLINE void bit_store(JpegInput& input, BitState& state) {
  input.bit_buffer = state.buffer;
  input.bit_count = state.count;
  input.position += state.next - state.taken_from;
  input.next = state.next;
  state.taken_from = state.next;
}

class BitReader {
 public:
  explicit BitReader(JpegInput& input)
      : input_(input),
        buffer_(top_aligned(input.bit_buffer, input.bit_count)),
        count_(input.bit_count),
        next_(input.next),
        end_(input.end),
        taken_from_(input.next) {}
  ~BitReader() {
    BitState state = save();
    bit_store(input_, state);
  }
  BitReader(const BitReader&) = delete;
  BitReader& operator=(const BitReader&) = delete;

  // Makes at least `n` bits (0..32) available. Returns 0, kMarkerReached,
  // or a negative status from the input.
  VKT_FORCE_INLINE JpegStatus need(int n) { return count_ >= n ? 0 : fill(n); }

  // The next n (1..32) bits without taking them; needs count() >= n.
  VKT_FORCE_INLINE uint32_t peek(int n) const { return static_cast<uint32_t>(buffer_ >> (64 - n)); }
  // Takes the next n (1..32) bits; needs count() >= n.
  VKT_FORCE_INLINE uint32_t take(int n) {
    const uint32_t value = peek(n);
    skip(n);
    return value;
  }
  // Takes the next n (0..32) bits; needs count() >= n.
  VKT_FORCE_INLINE uint32_t take_up_to_32(int n) {
    const auto value = static_cast<uint32_t>((buffer_ >> 1) >> (63 - n));
    skip(n);
    return value;
  }
  // Takes n (1..16) bits, filling first when needed.
  VKT_FORCE_INLINE JpegStatus read(int n, uint32_t& value) {
    if (count_ < n) {
      const JpegStatus status = fill(n);
      if (status != 0) return status;
    }
    value = take(n);
    return 0;
  }

  // DECODE (T.81 F.2.2.3): the next Huffman symbol of `table`. A code that
  // matches no length up to 16 takes 16 bits and decodes as symbol 0.
  VKT_FORCE_INLINE JpegStatus decode(const HuffmanTable& table, int& symbol) {
    if (count_ < 16) {
      const JpegStatus status = fill(0);
      if (status < 0) return status;
    }
    if (count_ < kHuffmanFastBits) return decode_slow(table, 1, symbol);
    const SymbolEntry entry = table.fast[peek(kHuffmanFastBits)];
    if (entry == 0) return decode_slow(table, kHuffmanFastBits + 1, symbol);
    skip(symbol_entry_length(entry));
    symbol = symbol_entry_symbol(entry);
    return 0;
  }

  // The coefficient lookup entry (HuffmanTable::coefficients) of the next
  // bits, after the same fill as decode; 0 when fewer bits than the lookup
  // width remain before a marker or the end, so the ordinary decode runs.
  VKT_FORCE_INLINE JpegStatus lookup_coefficient(const HuffmanTable& table, CoefficientEntry& entry) {
    if (count_ < 16) {
      const JpegStatus status = fill(0);
      if (status < 0) return status;
    }
    entry = count_ >= kHuffmanCoefficientBits ? table.coefficients[peek(kHuffmanCoefficientBits)] : 0;
    return 0;
  }
  // Drops the n bits of a looked-up entry; needs count() >= n.
  VKT_FORCE_INLINE void skip(int n) {
    buffer_ <<= n;
    count_ -= n;
  }

  int count() const { return count_; }

  // Appends input bytes; the result is bit_fill's.
  VKT_FORCE_INLINE JpegStatus fill(int wanted) {
    if (input_.pending_marker == 0 && count_ <= 56 && append_plain_bytes(buffer_, count_, next_, end_)) return 0;
    BitState state = save();
    const JpegStatus status = bit_fill(input_, state, wanted);
    load(state);
    return status;
  }

 private:
  VKT_FORCE_INLINE JpegStatus decode_slow(const HuffmanTable& table, int first_length, int& symbol) {
    BitState state = save();
    const JpegStatus status = bit_decode_slow(input_, state, table, first_length, symbol);
    load(state);
    return status;
  }
  // `count` bits at the low end of `bits` moved to the top (the input's
  // layout to the reader's), and back.
  static VKT_FORCE_INLINE uint64_t top_aligned(uint64_t bits, int count) {
    return count > 0 ? bits << (64 - count) : 0;
  }
  static VKT_FORCE_INLINE uint64_t low_aligned(uint64_t bits, int count) {
    return count > 0 ? bits >> (64 - count) : 0;
  }
  VKT_FORCE_INLINE BitState save() const { return {low_aligned(buffer_, count_), count_, next_, end_, taken_from_}; }
  VKT_FORCE_INLINE void load(const BitState& state) {
    buffer_ = top_aligned(state.buffer, state.count);
    count_ = state.count;
    next_ = state.next;
    end_ = state.end;
    taken_from_ = state.taken_from;
  }

  JpegInput& input_;
  uint64_t buffer_;
  int count_;
  const uint8_t* next_;
  const uint8_t* end_;
  const uint8_t* taken_from_;
};
