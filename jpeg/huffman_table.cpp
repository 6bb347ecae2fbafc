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

// One whole symbol at the start of the lookup index `index`, in the steps
// of a pair entry: its bits, run, value, and the advance after it (1, or 64
// for an end of block); bits 0 when the index does not hold one whole.
struct WholeSymbol {
  int bits, run, value, after;
};
WholeSymbol whole_symbol(const HuffmanTable& table, uint32_t index) {
  const CoefficientEntry entry = table.coefficients[index];
  if (entry_is_coefficient(entry)) return {entry_bits(entry), entry_run(entry), entry_value(entry), 1};
  if (entry != 0) return {entry_bits(entry), 0, 0, 64};  // end of block
  const SymbolEntry code = table.fast[index >> (kHuffmanCoefficientBits - kHuffmanFastBits)];
  if (code != 0 && symbol_entry_symbol(code) == 0xF0) return {symbol_entry_length(code), 15, 0, 1};  // ZRL
  return {0, 0, 0, 0};
}

PairEntry pair_entry(int bits, int run, int second, int after, int value1, int value2) {
  return static_cast<PairEntry>(bits) | static_cast<PairEntry>(run) << 8 | static_cast<PairEntry>(second) << 16 |
         static_cast<PairEntry>(after) << 24 | static_cast<PairEntry>(static_cast<uint16_t>(value1)) << 32 |
         static_cast<PairEntry>(static_cast<uint16_t>(value2)) << 48;
}

}  // namespace

void build_pair_entries(const HuffmanTable& table, PairEntry* pairs) {
  constexpr uint32_t kIndexes = 1u << kHuffmanCoefficientBits;
  for (uint32_t index = 0; index < kIndexes; ++index) {
    const WholeSymbol first = whole_symbol(table, index);
    if (first.bits == 0) {
      pairs[index] = pair_entry(0, kPairEscape, 0, 0, 0, 0);
      continue;
    }
    PairEntry entry = pair_entry(first.bits, first.run, 0, first.after, first.value, first.value);
    // A second symbol whose bits all lie in the index follows a coefficient
    // or ZRL; the bits below the index are zero in the second lookup and
    // decide nothing when the symbol fits.
    const int rest = kHuffmanCoefficientBits - first.bits;
    if (first.after == 1 && rest > 0) {
      const WholeSymbol second = whole_symbol(table, (index << first.bits) & (kIndexes - 1));
      if (second.bits != 0 && second.bits <= rest) {
        entry = second.after == 1 ? pair_entry(first.bits + second.bits, first.run, second.run + 1, 1, first.value,
                                               second.value)
                                  : pair_entry(first.bits + second.bits, first.run, 0, 1 + second.after, first.value,
                                               first.value);
      }
    }
    pairs[index] = entry;
  }
}

EmptyBlockCode empty_block_code(const HuffmanTable& dc_table, const HuffmanTable& ac_table) {
  const int bits = dc_table.zero_length + ac_table.zero_length;
  if (dc_table.zero_length == 0 || ac_table.zero_length == 0 || bits > 31) return {};
  const uint32_t code = uint32_t{dc_table.zero_code} << 16 | uint32_t{ac_table.zero_code} << (16 - dc_table.zero_length);
  return {code, ~uint32_t{0} << (32 - bits), bits};
}

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
  table->pairs = nullptr;
  std::memset(table->fast, 0, sizeof table->fast);
  std::memset(table->coefficients, 0, sizeof table->coefficients);
  std::memset(table->values, 0, sizeof table->values);
  for (int i = 0; i < total; ++i) table->values[i] = values[i];
  table->mincode[0] = table->maxcode[0] = table->valptr[0] = 0;
  table->limit[0] = 0;
  table->offset[0] = 0;
  table->zero_code = 0;
  table->zero_length = 0;

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
      for (int c = 0; c < count && table->zero_length == 0; ++c) {
        if (values[index + c] != 0x00) continue;
        table->zero_code = static_cast<uint16_t>((code + c) << (16 - length));
        table->zero_length = static_cast<uint8_t>(length);
      }
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
