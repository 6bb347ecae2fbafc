// The process's kept Huffman tables (huffman_shared.h): a few contents,
// each the class, counts and symbols of a DHT table with the table built
// from them. Entries are filled under the lock and never change after, so
// a found one is copied without it.
#include "huffman_shared.h"

#include <cstring>
#include <mutex>

namespace {

constexpr uint32_t kKeptTables = 8;

struct KeptContent {
  int32_t table_class;
  uint8_t counts[16];
  int32_t value_count;
  uint8_t values[kHuffmanMaxCodes];
};

struct KeptTables {
  std::mutex lock;
  uint32_t count = 0;
  KeptContent content[kKeptTables];
  HuffmanTable table[kKeptTables];
};

KeptTables& kept_tables() {
  static KeptTables tables;
  return tables;
}

bool same_content(const KeptContent& kept, int32_t table_class, const uint8_t counts[16], const uint8_t* values,
                  int value_count) {
  return kept.table_class == table_class && kept.value_count == value_count &&
         std::memcmp(kept.counts, counts, 16) == 0 && std::memcmp(kept.values, values, value_count) == 0;
}

}  // namespace

int32_t build_huffman_table_shared(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                   int32_t table_class, int32_t id, HuffmanTable* table) {
  const int value_count = huffman_value_count(counts);
  // Tables the builder refuses are never kept; it gives the refusal.
  if (value_count > kHuffmanMaxCodes || static_cast<size_t>(value_count) > values_available)
    return build_huffman_table(counts, values, values_available, table_class, id, table);
  KeptTables& kept = kept_tables();
  const HuffmanTable* found = nullptr;
  {
    const std::lock_guard<std::mutex> guard(kept.lock);
    for (uint32_t i = 0; i < kept.count && found == nullptr; ++i) {
      if (same_content(kept.content[i], table_class, counts, values, value_count)) found = &kept.table[i];
    }
    if (found == nullptr && kept.count < kKeptTables) {
      HuffmanTable& built = kept.table[kept.count];
      const int32_t status = build_huffman_table(counts, values, values_available, table_class, id, &built);
      if (status < 0) return status;  // `table` untouched, as the builder leaves it
      KeptContent& content = kept.content[kept.count];
      content.table_class = table_class;
      std::memcpy(content.counts, counts, 16);
      content.value_count = value_count;
      std::memcpy(content.values, values, value_count);
      found = &built;
      ++kept.count;
    }
  }
  if (found == nullptr) return build_huffman_table(counts, values, values_available, table_class, id, table);
  *table = *found;
  table->id = id;
  return 0;
}
