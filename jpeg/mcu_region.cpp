// Sequential region loop of a single-scan image: only the MCUs inside the
// region (widened by the triangle filter's neighbours) are decoded in full
// and output. Everything before them is passed as cheaply as the stream
// allows, in this order of preference:
//  - a resume entry (resume_table.h) of the row to reach, from an earlier
//    region read of the same stream, is restored directly;
//  - with restart intervals, whole intervals are passed by searching the
//    bytes for their RST marker, without entropy decoding: the DC
//    predictions restart at zero there, so the output stays the same;
//  - otherwise MCUs are decoded DC-only, which keeps the DC predictions
//    right without producing samples (block_skip.h: the bits taken are
//    those of slot 56, with AC codes stepped over through a wider lookup).
// Rows reached on the way get their resume entries. After the region's
// last row the rest of the scan is left unread.
#include <algorithm>

#include "entropy_decode.h"
#include "entropy_restart.h"
#include "mcu_driver.h"
#include "mcu_output.h"
#include "block_skip.h"
#include "resume_table.h"

namespace {

class RegionWalk {
 public:
  RegionWalk(DecoderState& state, ScanInfo& scan, const ScanLayout& layout,
             const SkipTable* const skip_tables[kMaxScanComponents])
      : state_(state), scan_(scan), layout_(layout), columns_(layout.mcu_columns),
        total_(uint64_t{layout.mcu_columns} * layout.mcu_rows),
        mcu_(uint64_t{scan.mcu_row} * layout.mcu_columns + scan.mcu_column) {
    for (uint32_t i = 0; i < layout.component_count; ++i) {
      const HuffmanTable& dc = dc_table(state, scan.components[i].dc_table);
      const HuffmanTable& ac = ac_table(state, scan.components[i].ac_table);
      const SkipBlock block{&dc, &ac, skip_tables[i], &scan.dc_predictions[i], empty_block_code(dc, ac)};
      for (uint32_t b = 0; b < layout.components[i].mcu_wide * layout.components[i].mcu_high; ++b) {
        sequence_[skip_count_] = {&dc, &ac, &scan.dc_predictions[i]};
        skip_blocks_[skip_count_++] = block;
      }
    }
  }

  uint64_t mcu() const { return mcu_; }

  // Starts a fresh read at the known row nearest above `row`.
  void start_near(uint32_t row) {
    for (uint32_t r = row; r > 0; --r) {
      if (resume_known(state_, r) && resume_restore(state_, scan_, r)) {
        mcu_ = uint64_t{r} * columns_;
        return;
      }
    }
  }

  // Passes MCUs up to (not including) MCU `target`.
  JpegStatus pass_to(uint64_t target) {
    if (mcu_ >= target) return JPEG_SUCCESS;
    // A known row start between here and the target is the cheapest way,
    // then a mark in the target's row.
    for (uint64_t r = target / columns_; r * columns_ > mcu_; --r) {
      if (resume_known(state_, static_cast<uint32_t>(r)) && resume_restore(state_, scan_, static_cast<uint32_t>(r))) {
        mcu_ = r * columns_;
        break;
      }
    }
    const uint64_t row = target / columns_;
    if (mcu_ / columns_ == row) {
      const uint32_t here = static_cast<uint32_t>(mcu_ % columns_), column = static_cast<uint32_t>(target % columns_);
      const ResumeEntry& mark = state_.resume.marks[row];
      if (here < column && resume_restore_mark(state_, scan_, static_cast<uint32_t>(row), here, column))
        mcu_ = row * columns_ + mark.column;
    }
    const uint64_t interval = scan_.restart_interval;
    while (mcu_ < target) {
      const uint64_t row_end = (mcu_ / columns_ + 1) * columns_;
      JpegStatus status;
      if (interval == 0) {
        // No restarts: the rest of the row (or up to the target) at once.
        const uint64_t count = std::min(target, row_end) - mcu_;
        uint32_t passed;
        status = skip_blocks(state_.input, skip_blocks_, skip_count_, static_cast<uint32_t>(count), nullptr, passed);
        if (status < 0) return JPEG_ERR_DATA;
        mcu_ += count;
      } else if (mcu_ % interval == 0 && mcu_ + interval <= target && mcu_ + interval < total_ &&
                 state_.input.pending_marker == 0) {
        status = jump_interval(interval);
      } else {
        status = pass_mcu();
      }
      if (status < 0) return status;
      if (mcu_ % columns_ == 0) resume_record(state_, scan_, static_cast<uint32_t>(mcu_ / columns_));
    }
    return JPEG_SUCCESS;
  }

  // Decodes MCU mcu() in full and outputs it.
  JpegStatus output_mcu_here() {
    const uint32_t column = static_cast<uint32_t>(mcu_ % columns_), row = static_cast<uint32_t>(mcu_ / columns_);
    CoefficientBlock* block = state_.mcu_blocks;
    const BlockDecoder decode_block = state_.ops.decode_block;
    if (decode_block == decode_block_sequential) {
      // Our own decoder takes the MCU's blocks in one call.
      if (decode_blocks_sequential(state_.input, sequence_, skip_count_, block) < 0) return JPEG_ERR_DATA;
    } else {
      for (uint32_t b = 0; b < skip_count_; ++b) {
        const SequentialBlock& entry = sequence_[b];
        if (decode_block(state_.input, *entry.dc_table, *entry.ac_table, *entry.prediction, block[b]) < 0)
          return JPEG_ERR_DATA;
      }
    }
    JpegStatus status = process_restart(state_.input, scan_, layout_.mcu_columns, layout_.mcu_rows, column, row);
    if (status < 0) return status;
    status = output_mcu(state_, layout_, column, row);
    if (status < 0) return status;
    ++mcu_;
    if (mcu_ % columns_ == 0) resume_record(state_, scan_, static_cast<uint32_t>(mcu_ / columns_));
    return JPEG_SUCCESS;
  }

 private:
  // One MCU, DC values only, then restart handling.
  JpegStatus pass_mcu() {
    const uint32_t column = static_cast<uint32_t>(mcu_ % columns_), row = static_cast<uint32_t>(mcu_ / columns_);
    uint32_t passed;
    if (skip_blocks(state_.input, skip_blocks_, skip_count_, 1, nullptr, passed) < 0) return JPEG_ERR_DATA;
    ++mcu_;
    return process_restart(state_.input, scan_, layout_.mcu_columns, layout_.mcu_rows, column, row);
  }

  // A whole restart interval from its first MCU: its bytes up to the RST
  // marker that ends it. The bit buffer is empty at an interval's start.
  JpegStatus jump_interval(uint64_t interval) {
    const int code = input_skip_to_marker(state_.input);
    if (code < 0) return code;
    if (code == kEndOfInput || code < 0xD0 || code > 0xD7) {
      // Damaged data: the marker that is not RSTm stays for the marker loop,
      // and the interval's MCUs read as ended data, as a whole read has them.
      if (code != kEndOfInput) state_.input.pending_marker = static_cast<uint8_t>(code);
      return pass_mcu();
    }
    for (int16_t& prediction : scan_.dc_predictions) prediction = 0;
    state_.input.bit_buffer = 0;
    state_.input.bit_count = 0;
    mcu_ += interval;
    return JPEG_SUCCESS;
  }

  DecoderState& state_;
  ScanInfo& scan_;
  const ScanLayout& layout_;
  const uint64_t columns_;
  const uint64_t total_;
  uint64_t mcu_;
  SkipBlock skip_blocks_[kMaxBlocksPerMcu];
  SequentialBlock sequence_[kMaxBlocksPerMcu];  // the same blocks, decoded whole
  uint32_t skip_count_ = 0;
};

}  // namespace

JpegStatus decode_sequential_region(DecoderState& state, ScanInfo& scan, const ScanLayout& layout) {
  const OutputPlan& plan = state.output;
  const bool fresh = scan.mcu_row == 0 && scan.mcu_column == 0;
  JpegStatus status = JPEG_SUCCESS;
  if (fresh) {
    status = resume_attach(state, layout);
    if (status < 0) return status;
  }
  const SkipTable* skip_tables[kMaxScanComponents];
  status = prepare_skip_tables(state, scan, (1u << scan.component_count) - 1, skip_tables);
  if (status < 0) return status;
  RegionWalk walk(state, scan, layout, skip_tables);
  const uint64_t columns = layout.mcu_columns;
  if (fresh) walk.start_near(plan.first_row);
  const uint64_t last = uint64_t{plan.end_row - 1} * columns + plan.end_column - 1;
  for (uint64_t row = walk.mcu() / columns; row < plan.end_row && plan.first_column < plan.end_column; ++row) {
    if (row < plan.first_row) row = plan.first_row;
    status = walk.pass_to(row * columns + plan.first_column);
    if (status < 0) return status;
    if (walk.mcu() == row * columns + plan.first_column && plan.first_column > 0)
      resume_mark(state, scan, static_cast<uint32_t>(row), plan.first_column);
    while (walk.mcu() < row * columns + plan.end_column) {
      status = walk.output_mcu_here();
      if (status < 0) return status;
      const uint64_t done = walk.mcu() - 1;
      if (interrupt_after(state, static_cast<uint32_t>(done % columns), static_cast<uint32_t>(done / columns),
                          done == last)) {
        scan.mcu_column = static_cast<uint32_t>(walk.mcu() % columns);
        scan.mcu_row = static_cast<uint32_t>(walk.mcu() / columns);
        return JPEG_INTERRUPT_SUCCESS;
      }
    }
  }
  // The row after the region gets its entry, for a later read further down.
  if (plan.end_row < layout.mcu_rows && !resume_known(state, plan.end_row)) {
    status = walk.pass_to(uint64_t{plan.end_row} * columns);
    if (status < 0) return status;
  }
  scan.mcu_row = 0;
  scan.mcu_column = 0;
  return JPEG_ROI_SUCCESS;
}
