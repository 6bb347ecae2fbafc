// Huffman table builder (ITU-T T.81 Annex C: BITS and HUFFVAL to codes,
// Figure C.2; F.2.2.3: MINCODE, MAXCODE, VALPTR), plus the 10-bit lookup
// table. Everything is validated before the table is touched, so a refused
// DHT segment leaves the previous table in place.
#include "huffman_table.h"

#include <cstring>

#include "entropy_tables.h"

namespace {
constexpr int32_t kBadHuffmanTable = -6;

// The coefficient lookup entries of one code of `length` bits whose
// symbol is `symbol`: every 10-bit continuation of the code.
void fill_coefficient_entries(HuffmanTable* table, uint32_t code, int length, int symbol) {
  const bool ac = table->table_class == 1;
  const int size = symbol & 0x0F;
  const int run = ac ? symbol >> 4 : 0;
  if (ac && size == 0 && run == 15) return;  // ZRL takes the ordinary path
  if (length + size > kHuffmanCoefficientBits) return;
  const int total = length + size;
  const int spread = kHuffmanCoefficientBits - total;
  for (uint32_t magnitude = 0; magnitude < (1u << size); ++magnitude) {
    const int32_t value = size == 0 ? 0 : extend_magnitude(magnitude, size);
    const auto entry = static_cast<CoefficientEntry>((static_cast<uint32_t>(value) << 16) |
                                                     (static_cast<uint32_t>(run) << 8) | static_cast<uint32_t>(total));
    const uint32_t first = ((code << size) | magnitude) << spread;
    for (uint32_t k = 0; k < (1u << spread); ++k) table->coefficients[first + k] = entry;
  }
}

}  // namespace

int huffman_value_count(const uint8_t counts[16]) {
  int total = 0;
  for (int i = 0; i < 16; ++i) total += counts[i];
  return total;
}

int32_t build_huffman_table(const uint8_t counts[16], const uint8_t* values,
                          size_t values_available, int32_t table_class,
                          int32_t id, HuffmanTable* table) {
  const int total = huffman_value_count(counts);
  if (total > kHuffmanMaxCodes || static_cast<size_t>(total) > values_available)
    return kBadHuffmanTable;
  // Figure C.2 assigns consecutive codes per length. The codes of length l
  // must stay below 2^l - 1: beyond, the table is over-subscribed and its
  // codes would alias longer ones (and index past the lookup tables);
  // the all-ones code itself is reserved (Annex C), which also keeps every
  // MAXCODE distinct from the -1 that marks a length without codes.
  uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    code += counts[length - 1];
    if (counts[length - 1] != 0 && code >= (1u << length)) return kBadHuffmanTable;
    code <<= 1;
  }

  table->table_class = table_class;
  table->id = id;
  std::memset(table->fast, 0, sizeof table->fast);
  std::memset(table->coefficients, 0, sizeof table->coefficients);
  std::memset(table->values, 0, sizeof table->values);
  for (int i = 0; i < total; ++i) table->values[i] = values[i];
  table->mincode[0] = table->maxcode[0] = table->valptr[0] = 0;
  table->limit[0] = 0;
  table->offset[0] = 0;

  code = 0;
  int index = 0;  // position in HUFFVAL of the next code
  for (int length = 1; length <= 16; ++length) {
    const int count = counts[length - 1];
    if (count == 0) {
      table->maxcode[length] = -1;
      table->mincode[length] = 0;
      table->valptr[length] = 0;
      table->limit[length] = table->limit[length - 1];
      table->offset[length] = 0;
    } else {
      table->limit[length] = (code + count) << (16 - length);
      table->offset[length] = index - static_cast<int32_t>(code);
      table->valptr[length] = static_cast<int16_t>(index);
      table->mincode[length] = static_cast<int16_t>(code);
      table->maxcode[length] = static_cast<int16_t>(code + count - 1);
      if (length <= kHuffmanFastBits) {
        const int spread = kHuffmanFastBits - length;
        for (int c = 0; c < count; ++c) {
          const uint16_t entry = static_cast<uint16_t>(length << 8 | values[index + c]);
          const uint32_t first = (code + c) << spread;
          for (uint32_t k = 0; k < (1u << spread); ++k)
            table->fast[first + k] = entry;
        }
      }
      if (length <= kHuffmanCoefficientBits) {
        for (int c = 0; c < count; ++c) fill_coefficient_entries(table, code + c, length, values[index + c]);
      }
    }
    code = (code + count) << 1;
    index += count;
  }
  table->maxcode[17] = -1;
  return 0;
}
