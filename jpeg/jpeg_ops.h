// JpegOps: the record's table of processor-specific routines, filled once by
// JpegInit for the detected (or registry-forced) processor kind, so the
// per-block stages make one indirect call and never test the processor.
//
// The table is 69 pointer-sized entries. Entries 0 to 6 are bookkeeping;
// entry n + 6 is function slot n (1..62). Members are named for their role;
// the static_asserts below pin every named member to its entry, so code and
// tests can rely on the slot numbers. Slots of the writing side (forward
// DCT, quantisation, encoding, input conversion) stay null: this decoder
// has no writer.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "coefficient_block.h"
#include "vktjpeg.h"
#include "zigzag_mask.h"

struct JpegInput;
struct HuffmanTable;
struct DecoderState;

// Slots 3..10 and 12..15: in-place inverse transform of one block.
using BlockTransform = void (*)(CoefficientBlock* block);
// Slots 60..62: in-place dequantisation with a prepared table (80 entries).
using Dequantiser = void (*)(CoefficientBlock* block, const int16_t* table);
// A fused dequantiser and transform whose samples are stored as bytes,
// row k at destination + k * row_stride; the block may be spoilt.
using BlockToBytes = void (*)(CoefficientBlock* block, const int16_t* table, uint8_t* destination,
                              ptrdiff_t row_stride);
// A fused dequantiser and transform on two blocks, each with its own table.
using PairedTransform = void (*)(CoefficientBlock* first, const int16_t* first_table, CoefficientBlock* second,
                                 const int16_t* second_table);
// Slot 55: decodes one sequential block (DC and AC); `prediction` is the
// component's DC predictor.
using BlockDecoder = JpegStatus (*)(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                                    int16_t& prediction, CoefficientBlock& block);
// Slot 56: decodes one block keeping only its DC value.
using DcOnlyDecoder = JpegStatus (*)(JpegInput& in, const HuffmanTable& dc_table, const HuffmanTable& ac_table,
                                     int16_t& prediction, int16_t& dc_value);
// Slot 34: writes one decoded MCU into the picture.
using McuOutput = JpegStatus (*)(DecoderState& state, uint32_t mcu_column, uint32_t mcu_row);
// Slots 35..53: converts one whole MCU from the MCU sample buffer into the
// picture at `destination`.
using McuConverter = void (*)(const int16_t* samples, uint8_t* destination, ptrdiff_t row_stride);
// Entry 6: leaves the processor's multimedia state (EMMS on MMX tables).
using MultimediaEnd = void (*)();

// advapi32 entry points, resolved at run time (entries 3..5).
using RegOpenKeyExFn = LSTATUS(WINAPI*)(HKEY key, LPCSTR sub_key, DWORD options, DWORD desired, PHKEY result);
using RegQueryValueExFn = LSTATUS(WINAPI*)(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                           LPDWORD size);
using RegCloseKeyFn = LSTATUS(WINAPI*)(HKEY key);

constexpr int kJpegOpsEntries = 69;
constexpr int kOutputConverterFirstSlot = 35;
constexpr int kOutputConverterCount = 19;  // slots 35..53

struct JpegOps {
  uintptr_t last_sos_length;           // entry 0: last SOS segment length + 2
  uintptr_t reserved;                  // entry 1
  HMODULE advapi32;                    // entry 2
  RegOpenKeyExFn reg_open_key;         // entry 3
  RegQueryValueExFn reg_query_value;   // entry 4
  RegCloseKeyFn reg_close_key;         // entry 5
  MultimediaEnd multimedia_end;        // entry 6 (null: nothing to do)
  void* writer_forward_dct[2];         // slots 1, 2
  BlockTransform idct_fast_8x8;        // slot 3
  BlockTransform idct_fast_4x4;        // slot 4
  BlockTransform idct_fast_2x2;        // slot 5
  BlockTransform idct_fast_1x1;        // slot 6
  BlockTransform idct_precise_8x8;     // slot 7
  BlockTransform idct_precise_4x4;     // slot 8
  BlockTransform idct_precise_2x2;     // slot 9
  BlockTransform idct_precise_1x1;     // slot 10
  void* writer_current_forward_dct;    // slot 11
  BlockTransform current_idct_8x8;     // slot 12
  BlockTransform current_idct_4x4;     // slot 13
  BlockTransform current_idct_2x2;     // slot 14
  BlockTransform current_idct_1x1;     // slot 15
  void* writer_stages[18];             // slots 16..33
  McuOutput mcu_output;                // slot 34, chosen per read
  McuConverter output_converters[kOutputConverterCount];  // slots 35..53
  void* writer_huffman_encode;         // slot 54
  BlockDecoder decode_block;           // slot 55
  DcOnlyDecoder decode_dc_only;        // slot 56
  void* writer_quantise[3];            // slots 57..59
  Dequantiser dequantise_fast;         // slot 60
  Dequantiser dequantise_precise;      // slot 61
  Dequantiser current_dequantise;      // slot 62
};

// One picture row of `width` (1 or more) pixels from Y, Cb and Cr samples in
// 0..255 (arrays 16-byte aligned, readable up to the next multiple of 16), with the in-place
// conversion's arithmetic (colour_convert.h), into 3-byte pixels.
using YccRowConverter = void (*)(const int16_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out,
                                 int width);

// The triangle filter's pixel pairs of `count` chroma columns from their
// terms t (t[-1] and t[count] readable): the left pixel of column k from
// 3 * t[k] + t[k - 1], the right one from 3 * t[k] + t[k + 1], rounded and
// shifted (upsample_filter.cpp), into out[2k] and out[2k + 1].
using TrianglePairs = void (*)(const int16_t* terms, int16_t* out, int count);

// The triangle filter's column sums of 2x2 chroma: terms[i] = 3 * row[i]
// + neighbour[i] for i in 0..count-1.
using TriangleTerms = void (*)(const uint8_t* row, const uint8_t* neighbour, int16_t* terms, int count);

// The triangle filter's pairs of Cb and Cr and the in-place conversion in
// one pass: a picture line of `width` (1 or more) pixels, its first the
// left pixel of chroma column 0, from its luma samples and the two
// components' terms as TrianglePairs takes them, into 3-byte pixels. The
// arrays are readable 32 samples past the line.
using TriangleColourRow = void (*)(const uint8_t* luma, const int16_t* cb_terms, const int16_t* cr_terms,
                                   uint8_t* out, int width);

// Members the fixed table has no slot for: the record keeps them beside
// the table, filled for the same processor kind (ops_dispatch.cpp).
struct SideMembers {
  // Whole-MCU converters of a grey frame into 3- and 4-byte pictures.
  McuConverter grey_three_bytes;  // the sample in bytes 0..2 of each pixel
  McuConverter grey_four_bytes;   // the same, and 255 in byte 3
  // The general writer's rows of YCbCr frames into RGB and BGR pictures.
  YccRowConverter ycc_row_rgb;
  YccRowConverter ycc_row_bgr;
  // The triangle filter's pairs: (sum + 8 or 7) >> 4 of 2x2 chroma, whose
  // terms are the 3:1 column sums; (sum + 1 or 2) >> 2 of 2x1 chroma.
  TrianglePairs triangle_2x2;
  TrianglePairs triangle_2x1;
  TriangleTerms triangle_terms;
  // The triangle filter with the conversion: [2x2 chroma][BGR picture].
  TriangleColourRow triangle_colour[2][2];
  // The non-zero coefficients of a block (progressive refinement scans).
  NonzeroMask zigzag_nonzero;
  // The kind's precise dequantiser and transform of each size (and the
  // fast ones of 8x8) in one
  // call, which keeps the block in registers between the two; used where
  // slot 61 and the size's transform slot still hold the members named
  // here.
  struct FusedTransform {
    Dequantiser dequantise;
    BlockTransform transform;
    Dequantiser both;
  };
  FusedTransform precise_8x8;
  FusedTransform precise_4x4;
  FusedTransform precise_2x2;
  FusedTransform fast_8x8;
  // fast_8x8.both on two blocks in one call, where the kind has such a
  // member (null otherwise): it costs what one block does.
  PairedTransform fast_8x8_pair;
  // precise_8x8.both with the samples stored as `store` (the kind's slot
  // 35) stores them, for the triangle filter's context, which then takes
  // no pass over the samples; used where slots 35 and 61 and the 8x8
  // transform hold the members named here (null where the kind has none).
  struct TransformToBytes {
    BlockToBytes both;
    McuConverter store;
  };
  TransformToBytes precise_8x8_bytes;
};

constexpr size_t jpeg_ops_entry_offset(int entry) { return static_cast<size_t>(entry) * sizeof(void*); }
constexpr size_t jpeg_ops_slot_offset(int slot) { return jpeg_ops_entry_offset(slot + 6); }

static_assert(sizeof(JpegOps) == jpeg_ops_entry_offset(kJpegOpsEntries), "69 pointer-sized entries");
static_assert(offsetof(JpegOps, advapi32) == jpeg_ops_entry_offset(2));
static_assert(offsetof(JpegOps, reg_close_key) == jpeg_ops_entry_offset(5));
static_assert(offsetof(JpegOps, multimedia_end) == jpeg_ops_entry_offset(6));
static_assert(offsetof(JpegOps, idct_fast_8x8) == jpeg_ops_slot_offset(3));
static_assert(offsetof(JpegOps, idct_precise_8x8) == jpeg_ops_slot_offset(7));
static_assert(offsetof(JpegOps, current_idct_8x8) == jpeg_ops_slot_offset(12));
static_assert(offsetof(JpegOps, mcu_output) == jpeg_ops_slot_offset(34));
static_assert(offsetof(JpegOps, output_converters) == jpeg_ops_slot_offset(kOutputConverterFirstSlot));
static_assert(offsetof(JpegOps, decode_block) == jpeg_ops_slot_offset(55));
static_assert(offsetof(JpegOps, decode_dc_only) == jpeg_ops_slot_offset(56));
static_assert(offsetof(JpegOps, dequantise_fast) == jpeg_ops_slot_offset(60));
static_assert(offsetof(JpegOps, current_dequantise) == jpeg_ops_slot_offset(62));

// Copies the transform set of `dct_kind` (1 = precise, other = fast) into
// the current slots 12..15 and 62; run at the start of every image read.
void select_current_transforms(JpegOps& ops, uint32_t dct_kind);
