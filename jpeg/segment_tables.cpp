// Table segments (ITU-T T.81 B.2.4): DHT (Huffman tables, class Tc and id
// Th: the process's kept table when it has the content, else built), DQT
// (quantisation tables, precision Pq and id Tq, prepared for the transform
// kind in force) and DRI (restart interval Ri).
#include <algorithm>

#include "byte_cursor.h"
#include "huffman_shared.h"
#include "huffman_standard.h"
#include "idct.h"
#include "marker_parser.h"

namespace {

// Largest bodies taken: four full Huffman tables, four 16-bit quantisation tables.
constexpr uint32_t kMaxDhtBody = 1091;
constexpr uint32_t kMaxDqtBody = 516;

}  // namespace

JpegStatus read_huffman_tables(DecoderState& state) {
  SegmentBody body;
  JpegStatus status = read_segment(state.input, kMaxDhtBody, body);
  if (status < 0) return status;
  ByteCursor cursor(body.data(), body.size());
  while (cursor.remaining() > 0) {
    uint32_t class_and_id = 0;
    cursor.read_u8(class_and_id);
    const uint32_t tc = class_and_id >> 4;
    const uint32_t th = class_and_id & 0x0F;
    if (tc > 1 || th > 3) return JPEG_ERR_BAD_HUFFMAN_TABLE;
    state.huffman_ids_seen = std::max(state.huffman_ids_seen, th + 1);

    if (cursor.remaining() < 16) return JPEG_ERR_BAD_HUFFMAN_TABLE;
    const uint8_t* counts = cursor.here();
    cursor.skip(16);
    HuffmanTable& table = tc == 0 ? state.dc_tables[th] : state.ac_tables[th];
    const HuffmanTable*& kept = tc == 0 ? state.dc_kept[th] : state.ac_kept[th];
    // A content the process keeps is used in place; the builder refuses
    // counts that promise more values than remain.
    const HuffmanTable* found = find_kept_huffman_table(counts, cursor.here(), cursor.remaining(),
                                                        static_cast<int32_t>(tc));
    if (found == nullptr) {
      status = build_huffman_table(counts, cursor.here(), cursor.remaining(), static_cast<int32_t>(tc),
                                   static_cast<int32_t>(th), &table);
      if (status < 0) return JPEG_ERR_BAD_HUFFMAN_TABLE;
    }
    kept = found;
    note_huffman_table_defined(state, tc, th);
    uint32_t& tables_read = tc == 0 ? state.dc_tables_read : state.ac_tables_read;
    tables_read = std::min(tables_read + 1, kHuffmanTableCount);
    if (!cursor.skip(static_cast<uint32_t>(huffman_value_count(counts)))) return JPEG_ERR_BAD_HUFFMAN_TABLE;
  }
  return JPEG_SUCCESS;
}

JpegStatus read_quant_tables(DecoderState& state) {
  SegmentBody body;
  const JpegStatus status = read_segment(state.input, kMaxDqtBody, body);
  if (status < 0) return status;
  // The output pass of a progressive image uses the tables of its end.
  if (state.progressive_scans > 0) state.kept.tables_after_scan = 1;
  ByteCursor cursor(body.data(), body.size());
  while (cursor.remaining() > 0) {
    uint32_t precision_and_id = 0;
    cursor.read_u8(precision_and_id);
    const uint32_t pq = precision_and_id >> 4;
    const uint32_t tq = precision_and_id & 0x0F;
    if (tq > 3) return JPEG_ERR_BAD_QUANT_TABLE;
    QuantTable& table = state.quant[tq];
    table.precision = pq;
    for (uint16_t& quantiser : table.zigzag) {
      uint32_t value = 0;
      if (!(pq == 0 ? cursor.read_u8(value) : cursor.read_u16(value))) return JPEG_ERR_BAD_QUANT_TABLE;
      quantiser = static_cast<uint16_t>(value);
    }
    if (state.dct_kind == 1) {
      prepare_quant_table_precise(table.zigzag, table.prepared);
    } else {
      prepare_quant_table_fast(table.zigzag, table.prepared);
    }
    state.quant_ids_seen = std::max(state.quant_ids_seen, tq + 1);
    state.quant_tables_read = std::min(state.quant_tables_read + 1, kQuantTableCount);
  }
  return JPEG_SUCCESS;
}

JpegStatus read_restart_interval(DecoderState& state) {
  SegmentBody body;
  const JpegStatus status = read_segment(state.input, kMaxSegmentBody, body);
  if (status < 0) return status;
  ByteCursor cursor(body.data(), body.size());
  uint32_t interval = 0;
  if (!cursor.read_u16(interval)) return JPEG_ERR_DATA;
  state.restart_interval = interval;
  return JPEG_SUCCESS;
}
