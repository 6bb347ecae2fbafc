// Resume table: recording, checking and restoring MCU-row entries. The
// table has one entry per MCU row of the scan, so its size follows the
// image (a 65535-line 4:2:0 frame has 4096 rows: 224 KiB).
//
// An entry's state (bit buffer, DC predictions) is a function of the
// Huffman tables and of the stream's bytes before its offset, and of
// nothing else: the tables are part of the key, and each entry keeps the
// hash of those bytes. A read hashes the stream from its first byte as it
// needs: up to each entry it records (bytes it has just decoded) or
// restores (bytes it is about to pass), in one forward sweep, because a
// read only ever moves forward through the scan.
#include "resume_table.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

// Bytes hashed per file read when the stream is a file.
constexpr uint32_t kFileHashChunk = 8192;

// Takes the stream's bytes up to `end` (rounded down to whole blocks) into
// the read's hash; false when a file cannot be read there.
bool hash_stream_to(DecoderState& state, int64_t end) {
  PrefixHash& hash = state.resume.hashed;
  const int64_t target = end - end % static_cast<int64_t>(kPrefixHashBlock);
  JpegInput& in = state.input;
  if (!input_is_file(in)) {
    prefix_hash_blocks(hash, in.start + hash.absorbed, static_cast<size_t>(target - hash.absorbed));
    return true;
  }
  alignas(8) uint8_t chunk[kFileHashChunk];
  while (hash.absorbed < target) {
    const uint32_t count = static_cast<uint32_t>(std::min<int64_t>(kFileHashChunk, target - hash.absorbed));
    if (!input_copy_at(in, hash.absorbed, chunk, count)) return false;
    prefix_hash_blocks(hash, chunk, count);
  }
  return true;
}

// Hash of the stream's bytes before `offset`, or false when they cannot be
// read or lie behind what this read has hashed already (an entry recorded
// from another stream: a read never goes back).
bool prefix_hash_at(DecoderState& state, int64_t offset, uint64_t& digest) {
  PrefixHash& hash = state.resume.hashed;
  if (offset < hash.absorbed || offset > state.resume.key.size || !hash_stream_to(state, offset)) return false;
  uint8_t tail[kPrefixHashBlock];
  const uint32_t tail_count = static_cast<uint32_t>(offset - hash.absorbed);
  if (tail_count > 0 && !input_copy_at(state.input, hash.absorbed, tail, tail_count)) return false;
  digest = prefix_hash_digest(hash, tail, tail_count);
  return true;
}

// What decides a table's codes: HUFFVAL (zero past its end) and the code
// ranges per length of T.81 F.2.2.3, adjacent 16-bit arrays that the
// builder writes whole.
uint64_t table_definition_hash(const HuffmanTable& table) {
  const uint8_t* first = reinterpret_cast<const uint8_t*>(table.values);
  return hash_bytes(first, static_cast<size_t>(reinterpret_cast<const uint8_t*>(std::end(table.valptr)) - first));
}

uint64_t scan_tables_hash(const DecoderState& state) {
  const ScanInfo& scan = state.scan;
  uint64_t hashes[2 * kMaxScanComponents] = {};
  for (uint32_t i = 0; i < scan.component_count; ++i) {
    hashes[2 * i] = table_definition_hash(dc_table(state, scan.components[i].dc_table));
    hashes[2 * i + 1] = table_definition_hash(ac_table(state, scan.components[i].ac_table));
  }
  return hash_bytes(reinterpret_cast<const uint8_t*>(hashes), sizeof hashes);
}

StreamKey key_of(DecoderState& state, const ScanLayout& layout) {
  const JpegInput& in = state.input;
  StreamKey key{};
  if (input_is_file(in)) {
    key.source_kind = 2;
    const char* name = state.file_name ? state.file_name : "";
    key.name_hash = hash_bytes(reinterpret_cast<const uint8_t*>(name), std::strlen(name));
  } else {
    key.source_kind = 1;
    key.buffer = in.start;
  }
  key.size = input_stream_size(in);
  key.data_offset = input_offset(in);
  key.mcu_columns = layout.mcu_columns;
  key.mcu_rows = layout.mcu_rows;
  key.restart_interval = state.scan.restart_interval;
  key.tables_hash = scan_tables_hash(state);
  return key;
}

bool same_key(const StreamKey& a, const StreamKey& b) {
  return a.source_kind == b.source_kind && a.buffer == b.buffer && a.name_hash == b.name_hash && a.size == b.size &&
         a.data_offset == b.data_offset && a.tables_hash == b.tables_hash && a.mcu_columns == b.mcu_columns &&
         a.mcu_rows == b.mcu_rows && a.restart_interval == b.restart_interval;
}

// Drops the entries and marks that lie past stream offset `offset`.
void forget_entries_after(ResumeTable& table, int64_t offset) {
  for (uint32_t row = 0; row < table.rows; ++row) {
    if (table.entries[row].offset > offset) table.entries[row].offset = -1;
    if (table.marks[row].offset > offset) table.marks[row].offset = -1;
  }
}

ResumeEntry capture(DecoderState& state, const ScanInfo& scan, uint32_t column) {
  const JpegInput& in = state.input;
  ResumeEntry entry{};
  entry.offset = input_offset(in);
  entry.column = column;
  entry.bit_buffer = in.bit_buffer;
  entry.bit_count = in.bit_count;
  entry.pending_marker = in.pending_marker;
  std::memcpy(entry.dc_predictions, scan.dc_predictions, sizeof entry.dc_predictions);
  if (!prefix_hash_at(state, entry.offset, entry.prefix_hash)) entry.offset = -1;
  return entry;
}

// Puts the input where `entry` was taken, after checking that the bytes
// before it are those it was recorded from. A mismatch means the stream
// changed somewhere ahead of the read: the entries there are dropped (a
// later one would only fail its check again, after more hashing), and the
// hash goes back to where the read is, so that it records the rows it now
// decodes. Entries behind the read stay; each is checked when used.
bool restore(DecoderState& state, ScanInfo& scan, const ResumeEntry& entry) {
  const PrefixHash hashed_here = state.resume.hashed;
  uint64_t prefix = 0;
  if (!prefix_hash_at(state, entry.offset, prefix) || prefix != entry.prefix_hash ||
      input_seek(state.input, entry.offset) < 0) {
    state.resume.hashed = hashed_here;
    forget_entries_after(state.resume, input_offset(state.input));
    return false;
  }
  JpegInput& in = state.input;
  in.bit_buffer = entry.bit_buffer;
  in.bit_count = entry.bit_count;
  in.pending_marker = static_cast<uint8_t>(entry.pending_marker);
  in.eob_run = 0;
  std::memcpy(scan.dc_predictions, entry.dc_predictions, sizeof entry.dc_predictions);
  return true;
}

}  // namespace

JpegStatus resume_attach(DecoderState& state, const ScanLayout& layout) {
  ResumeTable& table = state.resume;
  const StreamKey saved = table.key;
  table.key = key_of(state, layout);
  table.hashed = prefix_hash_start();
  if (table.entries != nullptr && table.rows == layout.mcu_rows && same_key(saved, table.key)) return JPEG_SUCCESS;
  if (table.entries == nullptr || table.rows < layout.mcu_rows) {
    std::free(table.entries);
    table.rows = 0;
    table.entries = static_cast<ResumeEntry*>(std::calloc(size_t{layout.mcu_rows} * 2, sizeof(ResumeEntry)));
    if (table.entries == nullptr) {
      table.key = StreamKey{};
      return JPEG_ERR_MEMORY;
    }
  }
  table.marks = table.entries + layout.mcu_rows;
  table.rows = layout.mcu_rows;
  forget_entries_after(table, -1);
  ResumeEntry& first = table.entries[0];
  first = ResumeEntry{};
  first.offset = table.key.data_offset;  // where the read is now: never restored
  return JPEG_SUCCESS;
}

bool resume_known(const DecoderState& state, uint32_t row) {
  const ResumeTable& table = state.resume;
  return row < table.rows && table.entries[row].offset >= 0;
}

void resume_record(DecoderState& state, const ScanInfo& scan, uint32_t row) {
  ResumeTable& table = state.resume;
  if (row >= table.rows || table.entries[row].offset >= 0) return;
  table.entries[row] = capture(state, scan, 0);
}

bool resume_restore(DecoderState& state, ScanInfo& scan, uint32_t row) {
  return resume_known(state, row) && restore(state, scan, state.resume.entries[row]);
}

void resume_mark(DecoderState& state, const ScanInfo& scan, uint32_t row, uint32_t column) {
  ResumeTable& table = state.resume;
  if (row >= table.rows || (table.marks[row].offset >= 0 && table.marks[row].column == column)) return;
  table.marks[row] = capture(state, scan, column);
}

bool resume_restore_mark(DecoderState& state, ScanInfo& scan, uint32_t row, uint32_t after, uint32_t up_to) {
  const ResumeTable& table = state.resume;
  if (row >= table.rows) return false;
  const ResumeEntry& mark = table.marks[row];
  return mark.offset >= 0 && mark.column > after && mark.column <= up_to && restore(state, scan, mark);
}

void resume_release(DecoderState& state) {
  std::free(state.resume.entries);  // the marks too
  state.resume = ResumeTable{};
}
