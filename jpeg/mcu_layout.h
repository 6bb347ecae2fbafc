// Geometry of a scan's MCUs (ITU-T T.81 A.2): which blocks of which
// component make up one MCU, how many MCUs a row and the scan have, and
// where each block lies in the whole-image coefficient buffer.
//
// An interleaved scan (Ns > 1, A.2.3) uses the frame's MCU grid, with H x V
// blocks of each component per MCU; a non-interleaved scan (Ns = 1, A.2.2)
// has one block per MCU over the component's own block grid,
// ceil(ceil(X * H / Hmax) / 8) blocks wide and ceil(ceil(Y * V / Vmax) / 8)
// high. The whole-image buffer holds one plane of blocks per component,
// component 1's first: mcus_per_row * H blocks wide and mcu_rows * V high,
// block rows top first, so that the single-component scans that make up
// most of a progressive image walk memory in order.
#pragma once
#include <cstddef>
#include <cstdint>

#include "jpeg_record.h"

// One scan component's share of an MCU.
struct ScanComponentPlan {
  uint32_t frame_index;
  uint32_t h;             // frame component H: block columns per frame MCU
  uint32_t v;             // frame component V: block rows per frame MCU
  uint32_t mcu_wide;      // block columns in one MCU of this scan (H or 1)
  uint32_t mcu_high;      // block rows in one MCU of this scan (V or 1)
  uint32_t first_block;   // index of its first block in the MCU sample buffer
  size_t plane_offset;    // index of its plane's first block in the whole-image buffer
  size_t plane_stride;    // blocks per block row of its plane: mcus_per_row * H
};

struct ScanLayout {
  uint32_t component_count;  // Ns
  uint32_t mcu_columns;
  uint32_t mcu_rows;
  uint32_t blocks_per_mcu;   // blocks of one MCU of this scan
  ScanComponentPlan components[kMaxScanComponents];
};

// Checks the scan against the frame (components, sampling factors 1..4,
// table selectors Td, Ta <= 3, at most kMaxBlocksPerMcu blocks per MCU)
// and fills `layout`. Returns 0 or JPEG_ERR_DATA.
JpegStatus plan_scan(const FrameInfo& frame, const ScanInfo& scan, ScanLayout& layout);

// Blocks of a component's own grid: ceil(ceil(X * H / Hmax) / 8) wide.
uint32_t component_blocks_wide(const FrameInfo& frame, uint32_t frame_index);
uint32_t component_blocks_high(const FrameInfo& frame, uint32_t frame_index);

// Placement of frame component `frame_index` as a non-interleaved scan of
// it sees it (one block per MCU). Needs a frame that plan_scan accepts.
ScanComponentPlan frame_component_plan(const FrameInfo& frame, uint32_t frame_index);

// Blocks the whole-image buffer needs: frame MCUs x blocks per frame MCU.
size_t whole_image_blocks(const FrameInfo& frame);

// Index in the whole-image buffer of block (block_row, block_column) of a
// component's plane, both measured in blocks of that component.
inline size_t whole_image_block(const ScanComponentPlan& plan, uint32_t block_row,
                                uint32_t block_column) {
  return plan.plane_offset + block_row * plan.plane_stride + block_column;
}
