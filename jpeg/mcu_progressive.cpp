// MCU loop of progressive DCT scans (ITU-T T.81 G.1.1.1.1 scan kinds and
// G.1.2 decoding), updating the whole-image coefficient buffer: a DC scan
// (Ss = Se = 0) may be interleaved and visits every block of its
// components in MCU order; an AC scan (1 <= Ss <= Se <= 63) has one
// component and visits that component's own block grid. The first scan of
// a block (Ah = 0) sets bits above Al, refinements (Ah != 0) add bit Al.
// Each scan kind gets its own loop; the blocks between restart points (an
// AC scan's row, a DC scan's MCU) go to the entropy decoder together.
#include <algorithm>

#include "entropy_decode.h"
#include "entropy_restart.h"
#include "mcu_driver.h"

namespace {

enum class ScanKind { kDcFirst, kDcRefine, kAcFirst, kAcRefine };

// Largest Ah and Al that T.81 allows (G.1.1.1.1); larger shifts would
// overflow the 16-bit coefficients.
constexpr uint32_t kMaxApproximationBit = 13;

JpegStatus classify(const ScanInfo& scan, ScanKind& kind) {
  if (scan.ss > scan.se || scan.se > 63 || scan.ah > kMaxApproximationBit ||
      scan.al > kMaxApproximationBit)
    return JPEG_ERR_DATA;
  if (scan.ss == 0) {
    if (scan.se != 0) return JPEG_ERR_DATA;  // DC and AC never share a scan
    kind = scan.ah == 0 ? ScanKind::kDcFirst : ScanKind::kDcRefine;
  } else {
    if (scan.component_count != 1) return JPEG_ERR_DATA;  // AC scans are not interleaved
    kind = scan.ah == 0 ? ScanKind::kAcFirst : ScanKind::kAcRefine;
  }
  return 0;
}

// The MCUs of row `row` from `column` on that come before the next restart
// point (all of them without restart intervals), at least one.
uint32_t mcus_before_restart(const ScanInfo& scan, uint32_t mcu_columns, uint32_t column, uint32_t row) {
  const uint32_t left = mcu_columns - column;
  const uint64_t interval = scan.restart_interval;  // Ri
  if (interval == 0) return left;
  const uint64_t done = static_cast<uint64_t>(row) * mcu_columns + column;
  return static_cast<uint32_t>(std::min<uint64_t>(left, interval - done % interval));
}

// A scan of one component: its own block grid, each block an MCU, decoded
// in runs that end at row ends and restart points.
template <ScanKind kKind>
JpegStatus run_single_component(DecoderState& state, ScanInfo& scan, const ScanLayout& layout) {
  const ScanComponentPlan& plan = layout.components[0];
  const HuffmanTable& dc = dc_table(state, scan.components[0].dc_table);  // Td
  const HuffmanTable& ac = ac_table(state, scan.components[0].ac_table);  // Ta
  const int ss = static_cast<int>(scan.ss);
  const int se = static_cast<int>(scan.se);
  const int al = static_cast<int>(scan.al);
  uint32_t column = scan.mcu_column;
  for (uint32_t row = scan.mcu_row; row < layout.mcu_rows; ++row, column = 0) {
    CoefficientBlock* blocks = state.coefficients + whole_image_block(plan, row, 0);
    while (column < layout.mcu_columns) {
      const uint32_t count = mcus_before_restart(scan, layout.mcu_columns, column, row);
      JpegStatus status;
      if constexpr (kKind == ScanKind::kAcFirst) {
        status = decode_ac_first_blocks(state.input, ac, ss, se, al, blocks + column, count);
      } else if constexpr (kKind == ScanKind::kAcRefine) {
        status = decode_ac_refine_blocks(state.input, ac, ss, se, al, state.side_members.zigzag_nonzero,
                                         blocks + column, count);
      } else {
        status = 0;
        for (uint32_t i = 0; i < count && status >= 0; ++i) {
          const ProgressiveDcBlock block{blocks + column + i, &dc, &scan.dc_predictions[0]};
          status = kKind == ScanKind::kDcFirst ? decode_dc_first_blocks(state.input, &block, 1, al)
                                               : decode_dc_refine_blocks(state.input, &block, 1, al);
        }
      }
      if (status < 0) return status;
      column += count;
      status = process_restart(state.input, scan, layout.mcu_columns, layout.mcu_rows, column - 1, row);
      if (status < 0) return status;
    }
  }
  return 0;
}

// An interleaved scan (DC only): the frame's MCUs, each component's H x V
// blocks in turn, an MCU's blocks decoded together.
template <ScanKind kKind>
JpegStatus run_interleaved(DecoderState& state, ScanInfo& scan, const ScanLayout& layout) {
  ProgressiveDcBlock mcu[kMaxBlocksPerMcu];
  uint32_t column = scan.mcu_column;
  const int al = static_cast<int>(scan.al);
  for (uint32_t row = scan.mcu_row; row < layout.mcu_rows; ++row, column = 0) {
    for (; column < layout.mcu_columns; ++column) {
      uint32_t count = 0;
      for (uint32_t i = 0; i < layout.component_count; ++i) {
        const ScanComponentPlan& plan = layout.components[i];
        const HuffmanTable* dc = &dc_table(state, scan.components[i].dc_table);  // Td
        for (uint32_t y = 0; y < plan.v; ++y) {
          CoefficientBlock* blocks =
              state.coefficients + whole_image_block(plan, row * plan.v + y, column * plan.h);
          for (uint32_t x = 0; x < plan.h; ++x) mcu[count++] = {blocks + x, dc, &scan.dc_predictions[i]};
        }
      }
      JpegStatus status = kKind == ScanKind::kDcFirst ? decode_dc_first_blocks(state.input, mcu, count, al)
                                                      : decode_dc_refine_blocks(state.input, mcu, count, al);
      if (status < 0) return status;
      status = process_restart(state.input, scan, layout.mcu_columns, layout.mcu_rows, column, row);
      if (status < 0) return status;
    }
  }
  return 0;
}

template <ScanKind kKind>
JpegStatus run_scan(DecoderState& state, ScanInfo& scan, const ScanLayout& layout) {
  return layout.component_count == 1 ? run_single_component<kKind>(state, scan, layout)
                                     : run_interleaved<kKind>(state, scan, layout);
}

}  // namespace

JpegStatus decode_progressive_scan(DecoderState& state, ScanInfo& scan,
                                   const ScanLayout& layout) {
  ScanKind kind;
  JpegStatus status = classify(scan, kind);
  if (status < 0) return status;
  if (state.coefficients == nullptr || state.coefficient_blocks < whole_image_blocks(state.frame))
    return JPEG_ERR_INTERNAL;
  switch (kind) {
    case ScanKind::kDcFirst:
      status = run_scan<ScanKind::kDcFirst>(state, scan, layout);
      break;
    case ScanKind::kDcRefine:
      status = run_scan<ScanKind::kDcRefine>(state, scan, layout);
      break;
    case ScanKind::kAcFirst:
      status = run_scan<ScanKind::kAcFirst>(state, scan, layout);
      break;
    case ScanKind::kAcRefine:
      status = run_scan<ScanKind::kAcRefine>(state, scan, layout);
      break;
  }
  if (status < 0) return status;
  scan.mcu_row = 0;
  scan.mcu_column = 0;
  return 0;
}
