// Resume table: recording, checking and restoring MCU-row entries. The
// table has one entry per MCU row of the scan, so its size follows the
// image (a 65535-line 4:2:0 frame has 4096 rows: 224 KiB).
#include "resume_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Bytes on each side of an offset that its guard hash covers.
constexpr int64_t kGuardReach = 16;

uint64_t hash_bytes(const uint8_t* bytes, size_t count, uint64_t hash = 0xcbf29ce484222325ull) {
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;  // FNV-1a
  return hash;
}

// Hash of the stream bytes within kGuardReach of `offset`, clipped to the
// scan's data [data_offset, size); 0 when they cannot be read.
uint64_t guard_at(DecoderState& state, int64_t offset) {
  const StreamKey& key = state.resume.key;
  const int64_t first = std::max(key.data_offset, offset - kGuardReach);
  const int64_t end = std::min(key.size, offset + kGuardReach);
  uint8_t bytes[2 * kGuardReach];
  if (end <= first) return hash_bytes(nullptr, 0) ^ static_cast<uint64_t>(offset);
  if (!input_copy_at(state.input, first, bytes, static_cast<uint32_t>(end - first))) return 0;
  return hash_bytes(bytes, static_cast<size_t>(end - first)) ^ static_cast<uint64_t>(offset);
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
  return key;
}

bool same_key(const StreamKey& a, const StreamKey& b) {
  return a.source_kind == b.source_kind && a.buffer == b.buffer && a.name_hash == b.name_hash && a.size == b.size &&
         a.data_offset == b.data_offset && a.data_guard == b.data_guard && a.mcu_columns == b.mcu_columns &&
         a.mcu_rows == b.mcu_rows && a.restart_interval == b.restart_interval;
}

void forget_rows(ResumeTable& table) {
  for (uint32_t row = 0; row < table.rows; ++row) {
    if (row > 0) table.entries[row].offset = -1;
    table.marks[row].offset = -1;
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
  entry.guard = guard_at(state, entry.offset);
  return entry;
}

// Puts the input where `entry` was taken, after checking the bytes there.
bool restore(DecoderState& state, ScanInfo& scan, const ResumeEntry& entry) {
  if (guard_at(state, entry.offset) != entry.guard || input_seek(state.input, entry.offset) < 0) {
    forget_rows(state.resume);
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
  table.key.data_guard = guard_at(state, table.key.data_offset);
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
  forget_rows(table);
  ResumeEntry& first = table.entries[0];
  first = ResumeEntry{};
  first.offset = table.key.data_offset;
  first.guard = table.key.data_guard;
  return JPEG_SUCCESS;
}

bool resume_known(const DecoderState& state, uint32_t row) {
  const ResumeTable& table = state.resume;
  return row < table.rows && table.entries[row].offset >= 0;
}

void resume_record(DecoderState& state, const ScanInfo& scan, uint32_t row) {
  ResumeTable& table = state.resume;
  if (row >= table.rows || table.entries[row].offset >= 0) return;
  const ResumeEntry entry = capture(state, scan, 0);
  if (entry.guard != 0) table.entries[row] = entry;
}

bool resume_restore(DecoderState& state, ScanInfo& scan, uint32_t row) {
  return resume_known(state, row) && restore(state, scan, state.resume.entries[row]);
}

void resume_mark(DecoderState& state, const ScanInfo& scan, uint32_t row, uint32_t column) {
  ResumeTable& table = state.resume;
  if (row >= table.rows || (table.marks[row].offset >= 0 && table.marks[row].column == column)) return;
  const ResumeEntry entry = capture(state, scan, column);
  table.marks[row] = entry;
  if (entry.guard == 0) table.marks[row].offset = -1;
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
