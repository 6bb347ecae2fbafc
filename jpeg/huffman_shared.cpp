// The process's kept Huffman tables (huffman_shared.h): a few contents,
// each the class, counts and symbols of a DHT table, with the table built
// from them.
#include "huffman_shared.h"

#include <cstring>

#include "process_kept.h"

namespace {

struct KeptContent {
  int32_t table_class;
  uint8_t counts[16];
  int32_t value_count;
  uint8_t values[kHuffmanMaxCodes];
};

ProcessKept<KeptContent, HuffmanTable, 8>& kept_tables() {
  static ProcessKept<KeptContent, HuffmanTable, 8> tables;
  return tables;
}

}  // namespace

int32_t build_huffman_table_shared(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                   int32_t table_class, int32_t id, HuffmanTable* table) {
  const int value_count = huffman_value_count(counts);
  // Tables the builder refuses are never kept; it gives the refusal.
  if (value_count > kHuffmanMaxCodes || static_cast<size_t>(value_count) > values_available)
    return build_huffman_table(counts, values, values_available, table_class, id, table);
  const HuffmanTable* found = kept_tables().find_or_build(
      [&](const KeptContent& kept) {
        return kept.table_class == table_class && kept.value_count == value_count &&
               std::memcmp(kept.counts, counts, 16) == 0 && std::memcmp(kept.values, values, value_count) == 0;
      },
      [&](KeptContent& kept, HuffmanTable& built) {
        if (build_huffman_table(counts, values, values_available, table_class, id, &built) < 0) return false;
        kept.table_class = table_class;
        std::memcpy(kept.counts, counts, 16);
        kept.value_count = value_count;
        std::memcpy(kept.values, values, value_count);
        return true;
      });
  // Refused, or every slot taken by other contents: the builder decides.
  if (found == nullptr) return build_huffman_table(counts, values, values_available, table_class, id, table);
  *table = *found;
  table->id = id;
  return 0;
}
