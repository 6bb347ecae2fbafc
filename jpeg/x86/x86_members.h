// The x86 members of the JpegOps slots, named <portable name>_<instruction
// set>. Each gives exactly the bytes of its portable member; the table
// fill (ops_dispatch.cpp) installs them only where the processor runs them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "coefficient_block.h"

void idct_precise_8x8_sse2(CoefficientBlock* block);
void idct_fast_8x8_sse2(CoefficientBlock* block);
void idct_precise_8x8_avx2(CoefficientBlock* block);
void idct_fast_8x8_avx2(CoefficientBlock* block);
void idct_fast_8x8_dequantised_avx2(CoefficientBlock* block, const int16_t* table);
void idct_fast_8x8_dequantised_pair_avx2(CoefficientBlock* first, const int16_t* first_table,
                                         CoefficientBlock* second, const int16_t* second_table);
// Slot 61's dequantiser and slot 7's transform of the kind in one call.
void idct_precise_8x8_dequantised_sse2(CoefficientBlock* block, const int16_t* table);
void idct_precise_8x8_dequantised_avx2(CoefficientBlock* block, const int16_t* table);
void idct_precise_8x8_bytes_avx2(CoefficientBlock* block, const int16_t* table, uint8_t* destination,
                                 ptrdiff_t row_stride);
void idct_precise_4x4_dequantised_avx2(CoefficientBlock* block, const int16_t* table);
void idct_precise_2x2_dequantised_avx2(CoefficientBlock* block, const int16_t* table);
void idct_precise_4x4_sse2(CoefficientBlock* block);
void idct_precise_2x2_sse2(CoefficientBlock* block);
void idct_fast_4x4_sse2(CoefficientBlock* block);
void idct_fast_2x2_sse2(CoefficientBlock* block);
void idct_precise_4x4_avx2(CoefficientBlock* block);
void idct_precise_2x2_avx2(CoefficientBlock* block);
void idct_fast_4x4_avx2(CoefficientBlock* block);
void idct_fast_2x2_avx2(CoefficientBlock* block);

// Bit k set where the coefficient at zigzag position k is non-zero.
uint64_t zigzag_nonzero_mask_sse2(const CoefficientBlock& block);
uint64_t zigzag_nonzero_mask_avx2(const CoefficientBlock& block);

void dequantise_fast_sse2(CoefficientBlock* block, const int16_t* table);
void dequantise_precise_sse2(CoefficientBlock* block, const int16_t* table);
void dequantise_fast_avx2(CoefficientBlock* block, const int16_t* table);
void dequantise_precise_avx2(CoefficientBlock* block, const int16_t* table);

struct JpegOps;
// Overwrites the MCU converter slots (35..53) that have an SSE2 member;
// the others keep what they hold.
void fill_output_converters_sse2(JpegOps& ops);
// The same for the AVX2 table's members (after the SSE2 ones).
void fill_output_converters_avx2(JpegOps& ops);

struct SideMembers;
// The grey expanders' SSE2 members, and the AVX2 table's.
void fill_grey_expanders_sse2(SideMembers& expanders);
void fill_grey_expanders_avx2(SideMembers& expanders);
// The YCbCr row converters of the side members.
void fill_ycc_rows_sse2(SideMembers& members);
void fill_ycc_rows_avx2(SideMembers& members);
// The triangle filter's pair writers of the side members.
void fill_triangle_pairs_sse2(SideMembers& members);
void fill_triangle_pairs_avx2(SideMembers& members);
// The triangle filter's one-pass colour rows of the side members.
void fill_triangle_colour_sse2(SideMembers& members);
void fill_triangle_colour_avx2(SideMembers& members);
