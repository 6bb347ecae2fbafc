// Building the block skipper's lookup tables and keeping them for later
// reads, shared by the process or in the record (skip_tables.h).
#include "skip_tables.h"

#include <cstring>
#include <new>

#include "process_kept.h"

namespace {

constexpr uint32_t kIndexes = 1u << kSkipBits;
// The parts of a Huffman table that decide what its codes decode to.
struct TableContent {
  uint16_t values[kHuffmanMaxCodes];
  int16_t mincode[17];
  int16_t maxcode[18];
  int16_t valptr[17];
};

TableContent content_of(const HuffmanTable& table) {
  TableContent content;
  std::memcpy(content.values, table.values, sizeof content.values);
  std::memcpy(content.mincode, table.mincode, sizeof content.mincode);
  std::memcpy(content.maxcode, table.maxcode, sizeof content.maxcode);
  std::memcpy(content.valptr, table.valptr, sizeof content.valptr);
  return content;
}

// Sets, in a table indexed by the next kSkipBits bits, every index that
// starts with the code of a symbol: in the low 16 bits its entry alone
// (code and magnitude bits, its step, 16 for ZRL, or the end of block),
// and its code length in bits 16..19.
void fill_single_codes(const HuffmanTable& table, uint32_t* single) {
  std::memset(single, 0, kIndexes * sizeof(uint32_t));
  for (uint32_t length = 1; length <= kSkipBits; ++length) {
    if (table.maxcode[length] == -1) continue;
    const uint32_t first = static_cast<uint16_t>(table.mincode[length]);
    const uint32_t last = static_cast<uint16_t>(table.maxcode[length]);
    for (uint32_t code = first; code <= last && code < (1u << length); ++code) {
      const int index = table.valptr[length] + static_cast<int>(code - first);
      if (index < 0 || index >= kHuffmanMaxCodes) continue;
      const uint32_t symbol = table.values[index], size = symbol & 0x0F, run = symbol >> 4;
      const uint32_t bits = length + size;  // at most kSkipMaxBits
      const uint32_t entry = size != 0 ? (run + 1) << 8 | bits : run == 15 ? 16u << 8 | bits : 0x8000u | bits;
      // Every index that starts with the code, whatever its magnitude bits.
      const uint32_t from = code << (kSkipBits - length);
      for (uint32_t i = from; i < from + (1u << (kSkipBits - length)); ++i) single[i] = length << 16 | entry;
    }
  }
}

// The tables of the Huffman tables met first in the process, shared by
// every record: nearly every camera picture has the same two AC tables.
ProcessKept<TableContent, SkipTable, 8>& shared_tables() {
  static ProcessKept<TableContent, SkipTable, 8> tables;
  return tables;
}

// The shared table for `content`, built when new; null when all are taken.
const SkipTable* shared_table(const HuffmanTable& ac_table, const TableContent& content) {
  return shared_tables().find_or_build(
      [&](const TableContent& kept) { return std::memcmp(&kept, &content, sizeof content) == 0; },
      [&](TableContent& kept, SkipTable& table) {
        build_skip_table(ac_table, table);
        kept = content;
        return true;
      });
}

}  // namespace

// Per record, the table in use for each AC table slot and the content it
// was built from; a record builds its own only when the shared ones are
// all taken by other contents.
// Only `table` starts zeroed: `built_from` and `own` are written before
// they are read, and zeroing 33 KiB at every fresh record's first skipped
// block would cost a small picture's read more than the skipping saves.
struct SkipTableCache {
  TableContent built_from[kHuffmanTableCount];
  const SkipTable* table[kHuffmanTableCount] = {};  // null until first needed
  SkipTable own[kHuffmanTableCount];
};

void build_skip_table(const HuffmanTable& ac_table, SkipTable& skip) {
  // The entry of the first `a` bits of an index, for a = 0..11, at
  // [(1 << a) | those bits]: the codes that start within them. The full
  // entry of an index is its first code followed by the entry of the bits
  // after it, so every level is built from the shorter ones in one pass. A
  // code whose magnitude reaches past the available bits ends an entry.
  uint32_t single[kIndexes];
  SkipEntry shorter[kIndexes];
  fill_single_codes(ac_table, single);
  shorter[1] = 0;  // no bits: no code
  for (int available = 1; available <= kSkipBits; ++available) {
    SkipEntry* level = available == kSkipBits ? skip.ac : shorter + (1u << available);
    for (uint32_t value = 0; value < (1u << available); ++value) {
      const uint32_t first = single[value << (kSkipBits - available)];
      const int code_length = static_cast<int>(first >> 16);
      const SkipEntry alone = static_cast<SkipEntry>(first);
      const int first_bits = skip_entry_bits(alone);
      if (first == 0 || code_length > available) {
        level[value] = 0;
      } else if (first_bits >= available || (alone & 0x8000) != 0) {
        level[value] = alone;  // nothing after it
      } else {
        const int rest_available = available - first_bits;
        const SkipEntry rest = shorter[(1u << rest_available) | (value & ((1u << rest_available) - 1))];
        const uint32_t steps = skip_entry_steps(alone) + (rest >> 8 & 0x7F);
        // The sum stays below 64, so that it and an end of block's 128 never mix.
        level[value] = steps > 63 ? alone
                                  : static_cast<SkipEntry>((rest & 0x8000) | steps << 8 |
                                                           (first_bits + skip_entry_bits(rest)));
      }
    }
  }
  // The final form: no code gets the steps that end every loop.
  for (SkipEntry& entry : skip.ac) {
    if (entry == 0) entry = static_cast<SkipEntry>(kSkipNoCode << 8);
  }
}

JpegStatus prepare_skip_tables(DecoderState& state, const ScanInfo& scan, uint32_t components,
                               const SkipTable* tables[kMaxScanComponents]) {
  if (state.skip_tables == nullptr) {
    state.skip_tables = new (std::nothrow) SkipTableCache;
    if (state.skip_tables == nullptr) return JPEG_ERR_MEMORY;
  }
  SkipTableCache& cache = *state.skip_tables;
  for (uint32_t i = 0; i < scan.component_count; ++i) {
    tables[i] = nullptr;
    if ((components >> i & 1) == 0) continue;
    const uint32_t slot = scan.components[i].ac_table;
    if (slot >= kHuffmanTableCount) return JPEG_ERR_DATA;
    const HuffmanTable& table = ac_table(state, slot);
    const TableContent content = content_of(table);
    if (cache.table[slot] == nullptr || std::memcmp(&content, &cache.built_from[slot], sizeof content) != 0) {
      cache.table[slot] = shared_table(table, content);
      if (cache.table[slot] == nullptr) {
        build_skip_table(table, cache.own[slot]);
        cache.table[slot] = &cache.own[slot];
      }
      cache.built_from[slot] = content;
    }
    tables[i] = cache.table[slot];
  }
  return JPEG_SUCCESS;
}

void release_skip_tables(DecoderState& state) {
  delete state.skip_tables;
  state.skip_tables = nullptr;
}
