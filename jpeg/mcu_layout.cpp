// Scan geometry (ITU-T T.81 A.2.2 non-interleaved and A.2.3 interleaved
// MCUs, B.2.3 limit of 10 blocks per MCU), checked before any block is
// decoded so that the MCU loops can index without further tests.
#include "mcu_layout.h"

namespace {

uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

bool valid_factor(int32_t f) { return f >= 1 && f <= 4; }

}  // namespace

uint32_t component_blocks_wide(const FrameInfo& frame, uint32_t frame_index) {
  const uint64_t h = static_cast<uint64_t>(frame.components[frame_index].h);
  return static_cast<uint32_t>(ceil_div(frame.samples_per_line * h, 8ull * frame.h_max));
}

uint32_t component_blocks_high(const FrameInfo& frame, uint32_t frame_index) {
  const uint64_t v = static_cast<uint64_t>(frame.components[frame_index].v);
  return static_cast<uint32_t>(ceil_div(frame.lines * v, 8ull * frame.v_max));
}

ScanComponentPlan frame_component_plan(const FrameInfo& frame, uint32_t frame_index) {
  ScanComponentPlan plan{};
  plan.frame_index = frame_index;
  plan.h = static_cast<uint32_t>(frame.components[frame_index].h);
  plan.v = static_cast<uint32_t>(frame.components[frame_index].v);
  plan.mcu_wide = 1;
  plan.mcu_high = 1;
  for (uint32_t i = 0; i < frame_index; ++i)
    plan.plane_offset += static_cast<size_t>(frame.components[i].h * frame.components[i].v);
  plan.plane_offset *= static_cast<size_t>(frame.mcus_per_row) * frame.mcu_rows;
  plan.plane_stride = static_cast<size_t>(frame.mcus_per_row) * plan.h;
  return plan;
}

size_t whole_image_blocks(const FrameInfo& frame) {
  return static_cast<size_t>(frame.mcus_per_row) * frame.mcu_rows * frame.blocks_per_mcu;
}

JpegStatus plan_scan(const FrameInfo& frame, const ScanInfo& scan, ScanLayout& layout) {
  const uint32_t ns = scan.component_count;
  if (ns < 1 || ns > kMaxScanComponents || frame.component_count > kMaxFrameComponents ||
      frame.mcus_per_row == 0 || frame.mcu_rows == 0 || frame.h_max == 0 || frame.v_max == 0)
    return JPEG_ERR_DATA;

  uint32_t blocks = 0;
  for (uint32_t i = 0; i < frame.component_count; ++i) {
    const FrameComponent& c = frame.components[i];
    if (!valid_factor(c.h) || !valid_factor(c.v)) return JPEG_ERR_DATA;
    blocks += static_cast<uint32_t>(c.h * c.v);
  }
  if (blocks != frame.blocks_per_mcu) return JPEG_ERR_DATA;

  layout.component_count = ns;
  layout.blocks_per_mcu = 0;
  for (uint32_t i = 0; i < ns; ++i) {
    const ScanComponent& sc = scan.components[i];
    if (sc.frame_index >= frame.component_count || sc.dc_table >= kHuffmanTableCount ||
        sc.ac_table >= kHuffmanTableCount)
      return JPEG_ERR_DATA;
    ScanComponentPlan& plan = layout.components[i];
    plan = frame_component_plan(frame, sc.frame_index);
    if (ns > 1) {
      plan.mcu_wide = plan.h;
      plan.mcu_high = plan.v;
    }
    plan.first_block = layout.blocks_per_mcu;
    layout.blocks_per_mcu += plan.mcu_wide * plan.mcu_high;
  }
  if (layout.blocks_per_mcu > kMaxBlocksPerMcu) return JPEG_ERR_DATA;

  if (ns == 1) {
    layout.mcu_columns = component_blocks_wide(frame, layout.components[0].frame_index);
    layout.mcu_rows = component_blocks_high(frame, layout.components[0].frame_index);
  } else {
    layout.mcu_columns = frame.mcus_per_row;
    layout.mcu_rows = frame.mcu_rows;
  }
  return 0;
}
