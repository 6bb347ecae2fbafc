// Block routines of the Huffman entropy decoder (ITU-T T.81 F.2.2 for
// sequential DCT scans, G.1.2 for progressive scans).
//
// Each routine decodes one block at the input's position. Reaching a
// marker ends the block early with success (the rest of its coefficients
// keep their values); negative results are input failures. Coefficients go
// to their natural (row-major) positions.
#pragma once
#include <cstdint>
#include <cstring>

#include "coefficient_block.h"
#include "huffman_table.h"
#include "jpeg_input.h"
#include "vktjpeg.h"
#include "zigzag_mask.h"

// Zeroes a block. Copying from a constant zeroed array makes compilers
// emit plain vector stores; a memset of 128 bytes (or a zeroed local, which
// is itself built with one) becomes `rep stos`, whose start-up cost is felt
// once per block.
inline void clear_block(CoefficientBlock& block) {
  static constexpr uint64_t zeros[sizeof(CoefficientBlock) / 8] = {};
  std::memcpy(block.coef, zeros, sizeof block.coef);
}

// Sequential block, DC (table Td) and AC (table Ta): JpegOps slot 55.
// `prediction` is the component's DC predictor; DC sums wrap at 16 bits.
JpegStatus decode_block_sequential(JpegInput& in, const HuffmanTable& dc_table,
                                   const HuffmanTable& ac_table, int16_t& prediction,
                                   CoefficientBlock& block);

// As decode_block_sequential, but only the DC value is kept; the AC codes
// and their bits are passed over: JpegOps slot 56.
// One block of an MCU as decode_blocks_sequential takes it.
struct SequentialBlock {
  const HuffmanTable* dc_table;  // Td
  const HuffmanTable* ac_table;  // Ta
  int16_t* prediction;           // the component's DC prediction
};

// The `count` blocks of an MCU into out[0..count), as decode_block_sequential
// would decode them one after the other, with one bit reader for all: its
// state stays in registers from block to block. Returns 0 or the first
// negative status.
JpegStatus decode_blocks_sequential(JpegInput& in, const SequentialBlock* blocks, uint32_t count,
                                    CoefficientBlock* out);

JpegStatus decode_block_dc_only(JpegInput& in, const HuffmanTable& dc_table,
                                const HuffmanTable& ac_table, int16_t& prediction,
                                int16_t& dc_value);

// Progressive scans decode runs of blocks with one bit reader, whose
// state stays in registers from block to block. A marker reached inside a
// block ends that block, and the run goes on with the next; the routines
// return 0 or the first negative status. End-of-band runs (EOBRUN) are
// kept in the input's eob_run.

// One block of a progressive DC scan: the block, its component's table Td
// and DC prediction.
struct ProgressiveDcBlock {
  CoefficientBlock* block;
  const HuffmanTable* dc_table;
  int16_t* prediction;
};

// DC first scans (Ss = Se = 0, Ah = 0): coefficient 0 of each block set to
// its value shifted left by Al; the rest of the block is left alone (the
// whole-image buffer starts cleared).
JpegStatus decode_dc_first_blocks(JpegInput& in, const ProgressiveDcBlock* blocks, uint32_t count, int al);

// DC refinement (Ss = Se = 0, Ah != 0): one bit at position Al per block.
JpegStatus decode_dc_refine_blocks(JpegInput& in, const ProgressiveDcBlock* blocks, uint32_t count, int al);

// AC first scan of the band Ss..Se (Ah = 0) over `count` consecutive
// blocks of one component. Needs 1 <= Ss <= Se <= 63.
JpegStatus decode_ac_first_blocks(JpegInput& in, const HuffmanTable& ac_table, int ss, int se, int al,
                                  CoefficientBlock* blocks, uint32_t count);

// AC refinement of the band Ss..Se (Ah != 0) over `count` consecutive
// blocks, finding each block's non-zero coefficients with `nonzero_of`
// (the side member SideMembers::zigzag_nonzero). Needs 1 <= Ss <= Se <= 63.
JpegStatus decode_ac_refine_blocks(JpegInput& in, const HuffmanTable& ac_table, int ss, int se, int al,
                                   NonzeroMask nonzero_of, CoefficientBlock* blocks, uint32_t count);
