// Filling a record's JpegOps table: the advapi32 registry functions for the
// "USECPU" override, then the members for the processor kind; and the side
// members the record keeps beside the table, for the same kind.
//
// Kinds 3 to 6 select MMX tables A to D, kind 7 the AVX2 table. Every
// table starts from the portable members; where the processor runs them,
// the MMX tables take the SSE2 members and the AVX2 table the AVX2 ones
// (SSE2 where a stage has no AVX2 member). A portable build
// (VKT_JPEG_SIMD off) has no x86 members. No member uses MMX registers, so
// the end-of-multimedia hook stays empty.
#include "entropy_decode.h"
#include "idct.h"
#include "output_colour_direct.h"
#include "output_convert.h"
#include "processor_dispatch.h"
#include "upsample_filter.h"
#if VKT_JPEG_SIMD
#include "x86/x86_members.h"
#endif

namespace {

void fill_portable_members(JpegOps& ops, SideMembers& side_members) {
  ops.multimedia_end = nullptr;
  ops.idct_fast_8x8 = idct_fast_8x8;
  ops.idct_fast_4x4 = idct_fast_4x4;
  ops.idct_fast_2x2 = idct_fast_2x2;
  ops.idct_fast_1x1 = idct_fast_1x1;
  ops.idct_precise_8x8 = idct_precise_8x8;
  ops.idct_precise_4x4 = idct_precise_4x4;
  ops.idct_precise_2x2 = idct_precise_2x2;
  ops.idct_precise_1x1 = idct_precise_1x1;
  ops.decode_block = decode_block_sequential;
  ops.decode_dc_only = decode_block_dc_only;
  ops.dequantise_fast = dequantise_fast;
  ops.dequantise_precise = dequantise_precise;
  // The current dequantiser starts as the fast one; the transform slots
  // are chosen at each image read.
  ops.current_dequantise = dequantise_fast;
  fill_output_converters(ops);
  fill_grey_expanders(side_members);
  fill_ycc_rows(side_members);
  fill_triangle_members(side_members);
  side_members.zigzag_nonzero = zigzag_nonzero_mask;
  side_members.precise_8x8 = {dequantise_precise, idct_precise_8x8, idct_precise_8x8_dequantised};
  side_members.precise_4x4 = {dequantise_precise, idct_precise_4x4, idct_precise_4x4_dequantised};
  side_members.precise_2x2 = {dequantise_precise, idct_precise_2x2, idct_precise_2x2_dequantised};
  side_members.fast_8x8 = {dequantise_fast, idct_fast_8x8, idct_fast_8x8_dequantised};
  side_members.fast_8x8_pair = nullptr;
  side_members.precise_8x8_bytes = {};
}

#if VKT_JPEG_SIMD
void fill_sse2_members(JpegOps& ops, SideMembers& side_members) {
  ops.idct_fast_8x8 = idct_fast_8x8_sse2;
  ops.idct_precise_8x8 = idct_precise_8x8_sse2;
  ops.idct_fast_4x4 = idct_fast_4x4_sse2;
  ops.idct_fast_2x2 = idct_fast_2x2_sse2;
  ops.idct_precise_4x4 = idct_precise_4x4_sse2;
  ops.idct_precise_2x2 = idct_precise_2x2_sse2;
  ops.dequantise_fast = dequantise_fast_sse2;
  ops.dequantise_precise = dequantise_precise_sse2;
  ops.current_dequantise = dequantise_fast_sse2;
  fill_output_converters_sse2(ops);
  fill_grey_expanders_sse2(side_members);
  fill_ycc_rows_sse2(side_members);
  fill_triangle_pairs_sse2(side_members);
  fill_triangle_colour_sse2(side_members);
  side_members.zigzag_nonzero = zigzag_nonzero_mask_sse2;
  side_members.precise_8x8 = {dequantise_precise_sse2, idct_precise_8x8_sse2, idct_precise_8x8_dequantised_sse2};
}

void fill_avx2_members(JpegOps& ops, SideMembers& side_members) {
  fill_sse2_members(ops, side_members);
  ops.idct_fast_8x8 = idct_fast_8x8_avx2;
  ops.idct_precise_8x8 = idct_precise_8x8_avx2;
  ops.idct_fast_4x4 = idct_fast_4x4_avx2;
  ops.idct_fast_2x2 = idct_fast_2x2_avx2;
  ops.idct_precise_4x4 = idct_precise_4x4_avx2;
  ops.idct_precise_2x2 = idct_precise_2x2_avx2;
  ops.dequantise_fast = dequantise_fast_avx2;
  ops.dequantise_precise = dequantise_precise_avx2;
  ops.current_dequantise = dequantise_fast_avx2;
  fill_output_converters_avx2(ops);
  fill_grey_expanders_avx2(side_members);
  fill_ycc_rows_avx2(side_members);
  fill_triangle_pairs_avx2(side_members);
  fill_triangle_colour_avx2(side_members);
  side_members.precise_8x8 = {dequantise_precise_avx2, idct_precise_8x8_avx2, idct_precise_8x8_dequantised_avx2};
  side_members.precise_4x4 = {dequantise_precise_avx2, idct_precise_4x4_avx2, idct_precise_4x4_dequantised_avx2};
  side_members.precise_2x2 = {dequantise_precise_avx2, idct_precise_2x2_avx2, idct_precise_2x2_dequantised_avx2};
  side_members.fast_8x8 = {dequantise_fast_avx2, idct_fast_8x8_avx2, idct_fast_8x8_dequantised_avx2};
  side_members.fast_8x8_pair = idct_fast_8x8_dequantised_pair_avx2;
  side_members.zigzag_nonzero = zigzag_nonzero_mask_avx2;
  side_members.precise_8x8_bytes = {idct_precise_8x8_bytes_avx2, ops.output_converters[35 - kOutputConverterFirstSlot]};
}
#endif

// GetProcAddress returns a generic function pointer; going through
// void (*)() is the sanctioned way to cast it to the real signature.
template <typename Function>
Function resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

void fill_jpeg_ops(JpegOps& ops, SideMembers& side_members, ProcessorKind kind) {
  // Clear entry 6 and all 62 slots, writing side included.
  JpegOps cleared{};
  cleared.last_sos_length = ops.last_sos_length;
  cleared.reserved = ops.reserved;
  cleared.advapi32 = ops.advapi32;
  cleared.reg_open_key = ops.reg_open_key;
  cleared.reg_query_value = ops.reg_query_value;
  cleared.reg_close_key = ops.reg_close_key;
  ops = cleared;
  fill_portable_members(ops, side_members);
#if VKT_JPEG_SIMD
  switch (simd_level_of(kind, current_processor_info())) {
    case SimdLevel::kAvx2: fill_avx2_members(ops, side_members); break;
    case SimdLevel::kSse2: fill_sse2_members(ops, side_members); break;
    case SimdLevel::kNone: break;
  }
#else
  (void)kind;
#endif
}

ProcessorKind dispatch_jpeg_ops(JpegOps& ops, SideMembers& side_members) {
  if (!ops.advapi32) ops.advapi32 = LoadLibraryA("advapi32");
  if (ops.advapi32) {
    // Resolved in order, stopping at the first that is missing.
    ops.reg_open_key = resolve<RegOpenKeyExFn>(ops.advapi32, "RegOpenKeyExA");
    if (ops.reg_open_key) ops.reg_query_value = resolve<RegQueryValueExFn>(ops.advapi32, "RegQueryValueExA");
    if (ops.reg_query_value) ops.reg_close_key = resolve<RegCloseKeyFn>(ops.advapi32, "RegCloseKey");
  }
  const ProcessorKind kind = detect_processor_kind(ops);
  fill_jpeg_ops(ops, side_members, kind);
  return kind;
}

void release_jpeg_ops(JpegOps& ops) {
  if (ops.advapi32) FreeLibrary(ops.advapi32);
  ops.advapi32 = nullptr;
  ops.reg_open_key = nullptr;
  ops.reg_query_value = nullptr;
  ops.reg_close_key = nullptr;
}

void select_current_transforms(JpegOps& ops, uint32_t dct_kind) {
  const bool precise = dct_kind == 1;
  ops.current_idct_8x8 = precise ? ops.idct_precise_8x8 : ops.idct_fast_8x8;
  ops.current_idct_4x4 = precise ? ops.idct_precise_4x4 : ops.idct_fast_4x4;
  ops.current_idct_2x2 = precise ? ops.idct_precise_2x2 : ops.idct_fast_2x2;
  ops.current_idct_1x1 = precise ? ops.idct_precise_1x1 : ops.idct_fast_1x1;
  ops.current_dequantise = precise ? ops.dequantise_precise : ops.dequantise_fast;
}
