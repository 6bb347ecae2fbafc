// Test helper: writes hand-made entropy-coded data (ITU-T T.81 F.1.2.3
// byte stuffing) with canonical Huffman codes (Annex C), so tests can state
// exactly which symbols and bits a stream holds.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "huffman_table.h"

class EntropyStreamWriter {
 public:
  // Appends the low `count` bits of `bits`, most significant first.
  void PutBits(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      pending_ = (pending_ << 1) | ((bits >> i) & 1);
      if (++pending_count_ == 8) Flush();
    }
  }
  // Pads the last byte with 1 bits (T.81 F.1.2.3) and appends a marker.
  void PutMarker(uint8_t code) {
    PadWithOnes();
    bytes_.push_back(0xFF);
    bytes_.push_back(code);
  }
  void PadWithOnes() {
    while (pending_count_ != 0) PutBits(1, 1);
  }
  std::vector<uint8_t>& bytes() { return bytes_; }
  int pending_bits() const { return pending_count_; }  // bits written after the last whole byte

 private:
  void Flush() {
    const uint8_t byte = static_cast<uint8_t>(pending_);
    bytes_.push_back(byte);
    if (byte == 0xFF) bytes_.push_back(0x00);
    pending_ = 0;
    pending_count_ = 0;
  }
  std::vector<uint8_t> bytes_;
  uint32_t pending_ = 0;
  int pending_count_ = 0;
};

// Canonical code of each symbol of a table given by its 16 counts and
// values (T.81 Figure C.2), independent of the decoder's builder.
struct HuffmanCode {
  uint32_t code = 0;
  int length = 0;
};

class HuffmanEncoder {
 public:
  HuffmanEncoder(const std::vector<uint8_t>& counts, const std::vector<uint8_t>& values) {
    uint32_t code = 0;
    size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
      for (int i = 0; i < counts[length - 1]; ++i) codes_[values[k++]] = {code++, length};
      code <<= 1;
    }
  }
  void Put(EntropyStreamWriter& out, uint8_t symbol) const {
    out.PutBits(codes_[symbol].code, codes_[symbol].length);
  }
  HuffmanCode code(uint8_t symbol) const { return codes_[symbol]; }

 private:
  HuffmanCode codes_[256];
};

// Builds a decoder table, failing the test on a refused table.
inline HuffmanTable make_huffman_table(const std::vector<uint8_t>& counts,
                                     const std::vector<uint8_t>& values, int table_class = 1) {
  HuffmanTable table{};
  EXPECT_EQ(build_huffman_table(counts.data(), values.data(), values.size(), table_class, 0, &table), 0);
  return table;
}
