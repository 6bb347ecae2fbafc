// The process's kept Huffman tables (huffman_shared.h): a few contents,
// each the class, counts and symbols of a DHT table, with the table built
// from them.
#include "huffman_shared.h"

#include <cstdlib>
#include <cstring>

#include "process_kept.h"

namespace {

struct KeptContent {
  int32_t table_class;
  uint8_t counts[16];
  int32_t value_count;
  uint8_t values[kHuffmanMaxCodes];
};

// A kept table with, for an AC table, the pair lookup it points to.
struct KeptTable {
  HuffmanTable table;
  PairEntry pairs[1 << kHuffmanCoefficientBits];
};

ProcessKept<KeptContent, KeptTable, 8>& kept_tables() {
  static ProcessKept<KeptContent, KeptTable, 8> tables;
  return tables;
}

}  // namespace

const HuffmanTable* find_kept_huffman_table(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                            int32_t table_class) {
  const int value_count = huffman_value_count(counts);
  // Tables the builder refuses are never kept.
  if (value_count > kHuffmanMaxCodes || static_cast<size_t>(value_count) > values_available) return nullptr;
  const KeptTable* found = kept_tables().find_or_build(
      [&](const KeptContent& kept) {
        return kept.table_class == table_class && kept.value_count == value_count &&
               std::memcmp(kept.counts, counts, 16) == 0 && std::memcmp(kept.values, values, value_count) == 0;
      },
      [&](KeptContent& kept, KeptTable& built) {
        if (build_huffman_table(counts, values, values_available, table_class, 0, &built.table) < 0) return false;
        if (table_class == 1) {
          build_pair_entries(built.table, built.pairs);
          built.table.pairs = built.pairs;
        }
        kept.table_class = table_class;
        std::memcpy(kept.counts, counts, 16);
        kept.value_count = value_count;
        std::memcpy(kept.values, values, value_count);
        return true;
      });
  return found != nullptr ? &found->table : nullptr;
}

int32_t build_huffman_table_shared(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                   int32_t table_class, int32_t id, HuffmanTable* table) {
  const HuffmanTable* found = find_kept_huffman_table(counts, values, values_available, table_class);
  // Refused, or every slot taken by other contents: the builder decides.
  if (found == nullptr) return build_huffman_table(counts, values, values_available, table_class, id, table);
  *table = *found;
  table->id = id;
  return 0;
}

namespace {
constexpr uint32_t kPairEntries = 1u << kHuffmanCoefficientBits;
}  // namespace

void attach_pair_lookups(DecoderState& state, const ScanInfo& scan) {
  for (uint32_t i = 0; i < scan.component_count; ++i) {
    const uint32_t slot = scan.components[i].ac_table;
    // Kept tables carry their pair lookups.
    if (slot >= kHuffmanTableCount || state.ac_kept[slot] != nullptr || state.ac_tables[slot].pairs != nullptr)
      continue;
    if (state.own_pairs == nullptr) {
      state.own_pairs = static_cast<PairEntry*>(std::malloc(kHuffmanTableCount * kPairEntries * sizeof(PairEntry)));
      if (state.own_pairs == nullptr) return;
    }
    PairEntry* const pairs = state.own_pairs + slot * kPairEntries;
    build_pair_entries(state.ac_tables[slot], pairs);
    state.ac_tables[slot].pairs = pairs;
  }
}

void release_pair_lookups(DecoderState& state) {
  if (state.own_pairs == nullptr) return;
  for (uint32_t slot = 0; slot < kHuffmanTableCount; ++slot) {
    if (state.ac_tables[slot].pairs == state.own_pairs + slot * kPairEntries) state.ac_tables[slot].pairs = nullptr;
  }
  std::free(state.own_pairs);
  state.own_pairs = nullptr;
}
