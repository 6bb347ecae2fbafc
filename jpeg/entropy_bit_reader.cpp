// Refilling the bit reader (ITU-T T.81 F.2.2.5, Figure F.18, and B.1.1.5:
// a 0xFF data byte is followed by a stuffed 0x00; 0xFF followed by another
// value starts a marker, possibly after fill bytes 0xFF) and the slow
// length-by-length Huffman search (F.2.2.3, Figure F.16).
#include "bit_reader.h"

JpegStatus BitReader::Fill(int wanted) {
  // Fast path: 16 buffered bytes cover the at most 8 appended bytes even
  // if each is a stuffed pair, so no byte needs an end check.
  if (input_.pending_marker == 0 && end_ - next_ >= 16) {
    while (count_ <= 56) {
      const uint8_t byte = next_[0];
      if (byte == 0xFF) {
        if (next_[1] != 0x00) return FillExact(wanted);  // a marker
        next_ += 2;
      } else {
        next_ += 1;
      }
      buffer_ = (buffer_ << 8) | byte;
      count_ += 8;
    }
    return 0;
  }
  return FillExact(wanted);
}

int BitReader::NextByte() {
  if (next_ == end_) {
    if (!input_is_file(input_)) return kEndOfInput;
    Store();
    const JpegStatus status = input_refill(input_);
    next_ = taken_from_ = input_.next;
    end_ = input_.end;
    if (status < 0) return status;
    if (next_ == end_) return JPEG_ERR_FILE;
  }
  return *next_++;
}

JpegStatus BitReader::FillExact(int wanted) {
  while (count_ <= 56) {
    if (input_.pending_marker != 0) return count_ < wanted ? kMarkerReached : 0;
    const int byte = NextByte();
    if (byte == kEndOfInput) {
      // The data stops without a marker: what is missing reads as zeros.
      while (count_ < wanted) {
        buffer_ <<= 8;
        count_ += 8;
      }
      return 0;
    }
    if (byte < 0) return count_ < wanted ? byte : 0;
    if (byte == 0xFF) {
      int code;
      do {
        code = NextByte();
      } while (code == 0xFF);
      if (code == kEndOfInput) return JPEG_ERR_DATA;
      if (code < 0) return code;
      if (code != 0x00) {
        input_.pending_marker = static_cast<uint8_t>(code);
        return count_ < wanted ? kMarkerReached : 0;
      }
    }
    buffer_ = (buffer_ << 8) | static_cast<uint8_t>(byte);
    count_ += 8;
  }
  return 0;
}

JpegStatus BitReader::DecodeSlow(const HuffmanTable& table, int first_length, int& symbol) {
  JpegStatus status = Need(first_length);
  if (status != 0) return status;
  int32_t code = static_cast<int32_t>(Take(first_length));
  int length = first_length;
  // A stored maxcode of -1 means "no code of this length"; any other value
  // is an unsigned 16-bit code.
  auto longest = [&table](int l) {
    const int16_t stored = table.maxcode[l];
    return stored == -1 ? -1 : static_cast<int32_t>(static_cast<uint16_t>(stored));
  };
  while (code > longest(length)) {
    if (length == 16) {
      symbol = 0;  // no code of any length matches
      return 0;
    }
    status = Need(1);
    if (status != 0) return status;
    code = (code << 1) | static_cast<int32_t>(Take(1));
    ++length;
  }
  const int32_t index =
      table.valptr[length] + code - static_cast<uint16_t>(table.mincode[length]);
  symbol = index >= 0 && index < kHuffmanMaxCodes ? table.values[index] : 0;
  return 0;
}
