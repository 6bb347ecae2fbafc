// Geometry of a scan's MCUs (ITU-T T.81 A.2): which blocks of which
// component make up one MCU, how many MCUs a row and the scan have, and
// where each block lies in the whole-image coefficient buffer.
//
// An interleaved scan (Ns > 1, A.2.3) uses the frame's MCU grid, with H x V
// blocks of each component per MCU; a non-interleaved scan (Ns = 1, A.2.2)
// has one block per MCU over the component's own block grid,
// ceil(ceil(X * H / Hmax) / 8) blocks wide and ceil(ceil(Y * V / Vmax) / 8)
// high. The whole-image buffer keeps blocks in frame MCU order: per frame
// MCU, component 1's H x V blocks row by row, then component 2's, and so
// on, the same order as the MCU sample buffer.
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
  uint32_t image_offset;  // index of its first block within a frame MCU
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
// component's grid, both measured in blocks of that component.
inline size_t whole_image_block(const FrameInfo& frame, const ScanComponentPlan& plan,
                                uint32_t block_row, uint32_t block_column) {
  const size_t mcu = static_cast<size_t>(block_row / plan.v) * frame.mcus_per_row +
                     block_column / plan.h;
  return mcu * frame.blocks_per_mcu + plan.image_offset + (block_row % plan.v) * plan.h +
         block_column % plan.h;
}
