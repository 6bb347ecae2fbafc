// The decoder's state, kept inside the caller's JPEG_PROPERTIES record
// (decoder_state) from JpegInit to JpegFree: the internal copies of the
// public fields, the frame, scan, quantisation and Huffman tables, marker
// values, the input and the JpegOps table.
//
// How a read flows (who owns which step):
//  - JpegRead (jpeg_read.cpp) validates, copies the public fields into
//    `fields`, resets `input` and runs the marker loop (marker_loop.cpp).
//  - Segment readers (segment_*.cpp) fill `frame`, `quant`, `dc_tables`,
//    `ac_tables` (built by build_huffman_table, huffman_table.h, or kept by
//    the process and pointed to by `dc_kept`, `ac_kept`), `markers`.
//  - The SOS reader (segment_scan.cpp) fills `scan` and, for picture modes,
//    hands it to the image read driver:
//        JpegStatus decode_image(DecoderState& state, ScanInfo& scan);
//    declared in mcu_driver.h and implemented by the MCU loops (mcu_*.cpp):
//    they entropy-decode the scan's MCUs through ops.decode_block (slot 55)
//    or, for progressive scans, into `coefficients`, and output each MCU
//    through ops.mcu_output (slot 34). A marker met inside the scan stays in
//    input.pending_marker; the marker loop dispatches it next.
//  - Reconstruction (dequantisation, IDCT, upsampling, colour conversion)
//    runs through the JpegOps slots; select_output_path (output_path.h)
//    decides the output routine of slot 34, prepare_output (mcu_output.h)
//    the per-scan OutputPlan, and the sequential loop hands each MCU to
//    output_mcu. Progressive images are output at EOI (finish_image).
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>

#include "coefficient_block.h"
#include "huffman_table.h"
#include "jpeg_input.h"
#include "jpeg_ops.h"
#include "prefix_hash.h"
#include "processor_dispatch.h"
#include "vktjpeg.h"

constexpr uint32_t kMaxFrameComponents = 4;
constexpr uint32_t kMaxScanComponents = 4;
constexpr uint32_t kQuantTableCount = 4;
constexpr uint32_t kHuffmanTableCount = 4;
// T.81 B.2.3: at most 10 blocks in one MCU of an interleaved scan.
constexpr uint32_t kMaxBlocksPerMcu = 10;

// Limits against decompression bombs (documented in docs/jpeg.md).
constexpr uint64_t kMaxCoefficientBytes = 512ull << 20;  // whole-image coefficient buffer
constexpr uint32_t kMaxProgressiveScans = 1000;

// Copies of public fields 2..21 that a read works from, plus the row stride.
struct ReadFields {
  uint8_t* picture_bytes;       // first byte of image row 0 (last line when bottom-up)
  uint32_t picture_width;
  int32_t picture_height;
  uint32_t picture_pad_bytes;
  uint32_t picture_channels;
  JpegColor picture_color;
  uint32_t picture_subsampling;
  int32_t row_stride;           // negative for a bottom-up picture
  const char* jpeg_file_name;
  const uint8_t* jpeg_bytes;
  uint32_t jpeg_size_bytes;
  uint32_t jpeg_width;
  uint32_t jpeg_height;
  uint32_t jpeg_channels;
  JpegColor jpeg_color;
  uint32_t jpeg_subsampling;
  uint32_t thumbnail_width;
  uint32_t thumbnail_height;
  uint32_t color_conversion_required;
  uint32_t upsampling_required;
  uint32_t quality;
};

// One frame component (T.81 B.2.2): identifier C, sampling factors H and V,
// quantisation table selector Tq.
struct FrameComponent {
  int32_t id;
  int32_t h;
  int32_t v;
  int32_t tq;
};

struct FrameInfo {
  uint32_t precision;        // P
  uint32_t lines;            // Y
  uint32_t samples_per_line; // X
  uint32_t component_count;  // Nc, 1..4
  uint32_t h_max;
  uint32_t v_max;
  uint32_t mcus_per_row;     // ceil(X / (8 Hmax))
  uint32_t mcu_rows;         // ceil(Y / (8 Vmax))
  uint32_t total_mcus;
  uint32_t blocks_per_mcu;   // sum of H x V
  FrameComponent components[kMaxFrameComponents];
};

// One component of a scan: its frame component and the tables it uses.
struct ScanComponent {
  uint32_t frame_index;  // index into FrameInfo::components
  int32_t h;
  int32_t v;
  uint32_t dc_table;     // Td
  uint32_t ac_table;     // Ta
  uint32_t quant_table;  // Tq of the frame component
};

struct ScanInfo {
  uint32_t component_count;  // Ns, 1..4
  uint32_t ss;               // spectral selection start Ss
  uint32_t se;               // spectral selection end Se
  uint32_t ah;               // successive approximation high Ah
  uint32_t al;               // successive approximation low Al
  uint32_t restart_interval;
  uint32_t mcu_row;          // where an interrupted scan goes on
  uint32_t mcu_column;
  int16_t dc_predictions[kMaxScanComponents];
  ScanComponent components[kMaxScanComponents];
};

// One quantisation table slot: Pq and the 64 quantisers as read, in zigzag
// order, then the table prepared for the dct_kind in force (80 entries).
struct QuantTable {
  uint32_t precision;  // Pq: 0 = 8-bit, 1 = 16-bit values
  uint16_t zigzag[64];
  alignas(16) int16_t prepared[kPreparedQuantEntries];
};

// One scan component as the output stage sees it (mcu_output.cpp).
// Widest and highest MCU of the output: 4 blocks of 8 samples (sampling
// factors are at most 4).
constexpr uint32_t kMaxOutputMcuSide = 32;

struct OutputComponent {
  uint32_t first_block;   // its first block in the MCU sample buffer
  uint32_t blocks_wide;   // its blocks in one MCU of the scan
  uint32_t blocks_high;
  uint32_t quant_table;   // Tq
  uint32_t block_size;    // samples per block side after the transform: 8, 4, 2, 1
  uint32_t ratio_h;       // output pixels per sample (replication)
  uint32_t ratio_v;
  uint32_t picture_byte;  // byte of the pixel that receives it
  BlockTransform transform;
  // The dequantiser and `transform` in one call, where the kind has one
  // (SideMembers, jpeg_ops.h); null otherwise.
  Dequantiser dequantised_transform;
  // The sample (from the component's first block) that each pixel column
  // and row of an MCU takes, replication included, for MCUs of up to
  // kMaxOutputMcuSide pixels a side.
  uint8_t column_offset[kMaxOutputMcuSide];
  uint16_t row_offset[kMaxOutputMcuSide];
};

// How the MCUs of the scan in hand reach the picture; rebuilt per scan.
struct OutputPlan {
  uint32_t scale;            // 1, 2, 4 or 8 (modes 14..19)
  uint32_t mcu_width;        // output pixels of one MCU of the scan
  uint32_t mcu_height;
  uint32_t component_count;
  OutputComponent components[kMaxScanComponents];
  uint32_t use_fast_routine; // slot 34 fits this scan's MCUs
  uint32_t use_filter;       // the triangle filter writes (upsample_filter.h)
  uint32_t mcu_columns;      // MCUs of the scan
  uint32_t mcu_rows;
  uint32_t region_active;    // `region` (clamped) limits the output
  uint32_t first_column;     // the region in MCUs of the scan: [first, end)
  uint32_t end_column;
  uint32_t first_row;
  uint32_t end_row;
  // Set when every component takes the fused member that this pairs
  // (SideMembers::fast_8x8_pair): the MCU's blocks then go two at a time.
  PairedTransform paired_transform;
  // Set when the triangle filter's context takes every block of the scan
  // as bytes through the member that this is (SideMembers::precise_8x8_bytes).
  BlockToBytes bytes_transform;
  // Each block of an MCU in order: its component and that component's
  // prepared table, so that the output step walks the blocks in one loop.
  uint32_t block_count;
  uint8_t block_component[kMaxBlocksPerMcu];
  const int16_t* block_table[kMaxBlocksPerMcu];
};

// Triangle-filter context: the samples of the last three MCU rows, so a
// row is output once the rows around it are known (upsample_filter.cpp).
struct UpsampleFilter {
  uint8_t* samples;      // three bands of one MCU row each (calloc)
  size_t capacity;       // bytes at `samples`
  size_t band_bytes;     // one band, all components
  size_t band_offset[kMaxFrameComponents];
  uint32_t band_width[kMaxFrameComponents];    // samples per line
  uint32_t band_lines[kMaxFrameComponents];    // lines per MCU row
  uint32_t valid_width[kMaxFrameComponents];   // samples inside the image
  uint32_t valid_height[kMaxFrameComponents];
  int16_t* rows;         // four lines after the bands: colour lines, chroma terms
  uint32_t row_width;    // samples per line there
  // Where each block of an MCU goes in its band: at offset + column_step x
  // the MCU column, its lines `stride` apart.
  struct BlockPlace {
    size_t offset;
    uint32_t column_step;
    uint32_t stride;
  } places[kMaxBlocksPerMcu];
  uint32_t place_count;
};

// The MCU row in hand of the one-pass colour output (output_colour_direct.h):
// each MCU's Y, Cb and Cr samples are gathered into lines as wide as the
// picture, and each line is converted in one call when the row is done,
// instead of a call per MCU line of a few pixels.
struct DecoderState;
// Reconstructs one component of the MCU in hand into the band, its first
// sample at `first` (output_band_rows.h).
using BandComponentWriter = void (*)(DecoderState& state, const OutputComponent& component, int16_t* first,
                                     size_t line_width);
// Reconstructs the whole MCU in hand into the band, its first sample at
// `first`, the planes `plane_samples` apart.
using BandMcuWriter = void (*)(DecoderState& state, int16_t* first, size_t plane_samples, size_t line_width);

struct RowBand {
  int16_t* samples;       // three planes of `lines` lines (calloc), null until first needed
  size_t capacity;        // samples at `samples`
  uint32_t line_width;    // samples per line: a multiple of 16, at least the picture's width
  uint32_t lines;         // lines per plane: the output MCU height
  uint32_t active;        // this scan's MCUs go through the band
  uint32_t filled;        // pixels gathered into each line so far
  int32_t top;            // the gathered MCUs' clip rows [top, bottom)
  int32_t bottom;
  uint8_t* first_pixel;   // picture byte of the band's first pixel
  ptrdiff_t row_stride;
  // Whole MCU rows (no region, no interrupt): each MCU is reconstructed
  // straight into its place, through one writer per component.
  uint32_t whole_rows;
  uint32_t row_pixels;    // pixels of each row the picture takes
  BandComponentWriter writers[kMaxScanComponents];
  BandMcuWriter mcu_writer;  // all three components at once, when they allow; else null
};

// Where the sequential region loop may take up a scan again: the input and
// entropy decoder state at the start of one MCU row (resume_table.h).
struct ResumeEntry {
  int64_t offset;  // stream offset of the input's next byte; -1 = not known yet
  uint32_t column; // MCU column of the entry (0 for row starts)
  uint64_t bit_buffer;
  int32_t bit_count;
  uint32_t pending_marker;
  int16_t dc_predictions[kMaxScanComponents];
  uint64_t prefix_hash;  // hash of the stream bytes before `offset` (prefix_hash.h)
};

// What the entries were recorded from; a read of anything else drops them.
struct StreamKey {
  uint32_t source_kind;  // 0 none, 1 buffer, 2 file
  const void* buffer;    // the buffer's first byte
  uint64_t name_hash;    // hash of the file name
  int64_t size;          // bytes in the stream
  int64_t data_offset;   // where the scan's entropy-coded data starts
  uint64_t tables_hash;  // hash of the Huffman tables the scan uses
  uint32_t mcu_columns;
  uint32_t mcu_rows;
  uint32_t restart_interval;
};

struct ResumeTable {
  ResumeEntry* entries;  // one per MCU row of the scan (calloc), null until the first region read
  ResumeEntry* marks;    // per row, the first MCU of the last region read there (same allocation)
  uint32_t rows;
  StreamKey key;
  PrefixHash hashed;  // the stream's first bytes hashed in this read so far
};

// The progressive image whose finished coefficients the record keeps
// (kept_image.h).
struct KeptImage {
  uint32_t valid;              // `coefficients` holds the finished image described here
  uint32_t matched;            // this read's buffer is that image's stream
  uint32_t tables_after_scan;  // this read met a DQT after a progressive scan
  uint32_t size;               // the stream's bytes
  uint64_t hash;               // hash_bytes of them
  int64_t kept_frame_offset;   // where the kept image's frame header starts
  int64_t frame_offset;        // where this read's last frame header started
  uint32_t progressive_scans;  // the finished image's counts
  uint32_t dc_complete_count;
  uint32_t ac_complete_count;
};

struct SkipTableCache;  // skip_tables.h

// Where an interrupted read goes on (the scan position itself is kept in
// the scan record, the progressive output pass's in `output_row/column`).
enum class Interrupted : uint32_t { kNone, kScan, kOutputPass };

// Values taken from APP0 (JFIF) and APP14 (Adobe); copied out after a read.
using MarkerValues = JpegMarkerValues;

struct DecoderState {
  uint32_t magic;  // kDecoderStateMagic while initialised

  // Controls copied from the record at the start of a read.
  JpegReadMode mode;
  JpegRegion region;
  uint32_t dct_kind;
  uint32_t upsampling_kind;
  uint32_t interrupt;
  uint32_t output_path;  // fast output path code (0 = none)
  uint8_t* comment;      // caller's comment buffer
  uint16_t comment_size; // its size; after a read, the comment's length

  ReadFields fields;

  // Stream structure.
  uint32_t multi_scan;         // components arrive in several sequential scans
  uint32_t quant_ids_seen;     // highest DQT id + 1
  uint32_t quant_tables_read;  // capped at 4
  uint32_t huffman_ids_seen;   // highest DHT id + 1
  uint32_t dc_tables_read;     // capped at 4
  uint32_t ac_tables_read;     // capped at 4
  uint32_t huffman_defined;    // bit Tc * 4 + Th: table defined by DHT or given its standard content
  QuantTable quant[kQuantTableCount];
  HuffmanTable dc_tables[kHuffmanTableCount];
  HuffmanTable ac_tables[kHuffmanTableCount];
  // The process's kept table (huffman_shared.h) a slot uses instead of its
  // own above, which a fresh record would otherwise copy at every read;
  // null when the slot's own table is in force. Read through dc_table and
  // ac_table.
  const HuffmanTable* dc_kept[kHuffmanTableCount];
  const HuffmanTable* ac_kept[kHuffmanTableCount];
  // Pair lookups built for AC tables the process does not keep, one per
  // slot (huffman_shared.h); malloc, or null until needed.
  PairEntry* own_pairs;
  FrameInfo frame;
  uint32_t restart_interval;
  uint32_t frame_pending;      // 1 until a frame header is taken
  ScanInfo scan;

  // Progressive images.
  uint32_t progressive_scans;  // 0 until a progressive scan is met
  uint32_t dc_complete_count;  // components whose DC is at full precision
  uint32_t ac_complete_count;  // AC scans that completed a band with Al = 0
  CoefficientBlock* coefficients;  // whole-image buffer, blocks_per_mcu per MCU (coefficient_buffer.h)
  size_t coefficient_blocks;       // its capacity, kept across frames
  uint32_t coefficients_prepared;  // it holds this frame's blocks
  KeptImage kept;
  // Set by tests: sequential scans also keep their quantised blocks in
  // `coefficients` (allocated on demand), for comparison block by block.
  uint32_t keep_coefficients;

  // MCU sample buffer: the blocks of the MCU in hand, in MCU order.
  alignas(32) CoefficientBlock mcu_blocks[kMaxBlocksPerMcu];
  OutputPlan output;
  UpsampleFilter filter;
  RowBand band;

  ResumeTable resume;
  SkipTableCache* skip_tables;  // per AC table slot, kept across reads, null until first needed

  // Interrupted reads: what goes on at the next read of the same mode, the
  // caller's region to give back when the read ends, and the position of
  // the progressive output pass.
  Interrupted interrupted;
  JpegReadMode interrupted_mode;
  JpegRegion caller_region;
  uint32_t output_row;
  uint32_t output_column;
  uint32_t interrupt_column;  // the MCU an interrupted read handled last
  uint32_t interrupt_row;

  MarkerValues markers;
  int64_t stop_offset;  // input offset of the marker a parameter/header read stopped at

  ProcessorKind processor_kind;
  HANDLE file;  // file of the file modes, open from its first read until closed
  char* file_name;        // copy of the name `file` was opened with (malloc)
  uint32_t file_at_stop;  // a parameter or header read left `file` at its stopping marker
  JpegInput input;
  JpegOps ops;
  SideMembers side_members;
};

constexpr uint32_t kDecoderStateMagic = 0x4a504547;  // "JPEG"

static_assert(sizeof(DecoderState) <= VKT_JPEG_STATE_BYTES, "decoder state must fit the record");
static_assert(alignof(DecoderState) <= 64, "decoder state alignment");

inline DecoderState& state_of(JPEG_PROPERTIES& properties) {
  return *std::launder(reinterpret_cast<DecoderState*>(properties.decoder_state));
}

// The Huffman table in force in slot `id` (Td or Ta, 0..3).
inline const HuffmanTable& dc_table(const DecoderState& state, uint32_t id) {
  return state.dc_kept[id] != nullptr ? *state.dc_kept[id] : state.dc_tables[id];
}
inline const HuffmanTable& ac_table(const DecoderState& state, uint32_t id) {
  return state.ac_kept[id] != nullptr ? *state.ac_kept[id] : state.ac_tables[id];
}

inline bool is_file_mode(JpegReadMode mode) { return mode % 2 == 0; }
// Modes that stop at the first SOS (parameters, thumbnail) or the SOF (header).
inline bool is_parameter_mode(JpegReadMode mode) {
  return mode == READ_PARAMS_FILE || mode == READ_PARAMS_BUFFER || mode == READ_THUMBNAIL_FILE ||
         mode == READ_THUMBNAIL_BUFFER || mode == READ_HEADER_FILE || mode == READ_HEADER_BUFFER;
}
inline bool is_picture_mode(JpegReadMode mode) {
  return (mode >= READ_IMAGE_FILE && mode <= READ_IMAGE_BUFFER) ||
         (mode >= READ_ENTROPY_FILE && mode <= READ_ENTROPY_BUFFER) ||
         (mode >= READ_HALF_FILE && mode <= READ_THUMBNAIL_BUFFER);
}
inline bool is_thumbnail_mode(JpegReadMode mode) {
  return mode == READ_THUMBNAIL_FILE || mode == READ_THUMBNAIL_BUFFER;
}
inline bool is_header_mode(JpegReadMode mode) {
  return mode == READ_HEADER_FILE || mode == READ_HEADER_BUFFER;
}
