// Refilling the bit reader (ITU-T T.81 F.2.2.5, Figure F.18, and B.1.1.5:
// a 0xFF data byte is followed by a stuffed 0x00; 0xFF followed by another
// value starts a marker, possibly after fill bytes 0xFF) and the slow
// length-by-length Huffman search (F.2.2.3, Figure F.16).
#include "bit_reader.h"

namespace {

// Takes one raw byte (0..255), kEndOfInput, or a negative status.
int next_byte(JpegInput& input, BitState& s) {
  if (s.next == s.end) {
    if (!input_is_file(input)) return kEndOfInput;
    bit_store(input, s);
    const JpegStatus status = input_refill(input);
    s.next = s.taken_from = input.next;
    s.end = input.end;
    if (status < 0) return status;
    if (s.next == s.end) return JPEG_ERR_FILE;
  }
  return *s.next++;
}

// The exact reader: one byte at a time, markers, the end of the input.
JpegStatus fill_exact(JpegInput& input, BitState& s, int wanted) {
  while (s.count <= 56) {
    if (input.pending_marker != 0) return s.count < wanted ? kMarkerReached : 0;
    const int byte = next_byte(input, s);
    if (byte == kEndOfInput) {
      // The data stops without a marker: what is missing reads as zeros.
      while (s.count < wanted) {
        s.buffer <<= 8;
        s.count += 8;
      }
      return 0;
    }
    if (byte < 0) return s.count < wanted ? byte : 0;
    if (byte == 0xFF) {
      int code;
      do {
        code = next_byte(input, s);
      } while (code == 0xFF);
      if (code == kEndOfInput) return JPEG_ERR_DATA;
      if (code < 0) return code;
      if (code != 0x00) {
        input.pending_marker = static_cast<uint8_t>(code);
        return s.count < wanted ? kMarkerReached : 0;
      }
    }
    s.buffer = (s.buffer << 8) | static_cast<uint8_t>(byte);
    s.count += 8;
  }
  return 0;
}

}  // namespace

JpegStatus bit_fill(JpegInput& input, BitState& s, int wanted) {
  // Fast path: 16 buffered bytes cover the at most 8 appended bytes even
  // if each is a stuffed pair, so no byte needs an end check.
  if (input.pending_marker == 0 && s.end - s.next >= 16) {
    if (s.count <= 56 && append_plain_bytes(s.buffer, s.count, s.next, s.end)) return 0;
    while (s.count <= 56) {
      const uint8_t byte = s.next[0];
      if (byte == 0xFF) {
        if (s.next[1] != 0x00) return fill_exact(input, s, wanted);  // a marker
        s.next += 2;
      } else {
        s.next += 1;
      }
      s.buffer = (s.buffer << 8) | byte;
      s.count += 8;
    }
    return 0;
  }
  return fill_exact(input, s, wanted);
}

JpegStatus bit_decode_slow(JpegInput& input, BitState& s, const HuffmanTable& table,
                           int first_length, int& symbol) {
  auto take = [&s, &input](int n, int32_t& bits) {
    if (s.count < n) {
      const JpegStatus status = bit_fill(input, s, n);
      if (status != 0) return status;
    }
    s.count -= n;
    bits = static_cast<int32_t>((s.buffer >> s.count) & ((1u << n) - 1));
    return 0;
  };
  // A stored maxcode of -1 means "no code of this length"; any other value
  // is an unsigned 16-bit code.
  auto longest = [&table](int l) {
    const int16_t stored = table.maxcode[l];
    return stored == -1 ? -1 : static_cast<int32_t>(static_cast<uint16_t>(stored));
  };
  auto symbol_of = [&table](int length, int32_t code) {
    const int32_t index = table.valptr[length] + code - static_cast<uint16_t>(table.mincode[length]);
    return index >= 0 && index < kHuffmanMaxCodes ? table.values[index] : 0;
  };
  // With 16 bits in hand (nearly always: the decoders fill before they
  // come here) every length is compared on them, without a step per bit.
  if (s.count >= 16) {
    const auto next16 = static_cast<int32_t>((s.buffer >> (s.count - 16)) & 0xFFFF);
    int length = first_length;
    while (length < 16 && (next16 >> (16 - length)) > longest(length)) ++length;
    const int32_t code = next16 >> (16 - length);
    s.count -= length;
    // No code of any length matches: 16 bits taken, symbol 0.
    symbol = code > longest(length) ? 0 : symbol_of(length, code);
    return 0;
  }
  int32_t code;
  JpegStatus status = take(first_length, code);
  if (status != 0) return status;
  int length = first_length;
  while (code > longest(length)) {
    if (length == 16) {
      symbol = 0;  // no code of any length matches
      return 0;
    }
    int32_t bit;
    status = take(1, bit);
    if (status != 0) return status;
    code = (code << 1) | bit;
    ++length;
  }
  symbol = symbol_of(length, code);
  return 0;
}
