// Restart handling between MCUs: when predictions are reset, how RSTm
// markers are taken, and what happens when the marker is missing or is
// another marker.
#include <gtest/gtest.h>

#include <vector>

#include "entropy_restart.h"

namespace {

class EntropyRestart : public ::testing::Test {
 protected:
  void Use(std::vector<uint8_t> bytes) {
    bytes_ = std::move(bytes);
    input_reset_buffer(input_, bytes_.data(), static_cast<uint32_t>(bytes_.size()));
  }
  void SetPredictions() {
    for (int i = 0; i < 4; ++i) scan_.dc_predictions[i] = static_cast<int16_t>(10 + i);
  }
  bool PredictionsCleared() const {
    for (int16_t p : scan_.dc_predictions)
      if (p != 0) return false;
    return true;
  }
  std::vector<uint8_t> bytes_;
  JpegInput input_{};
  ScanInfo scan_{};
};

TEST_F(EntropyRestart, IntervalOfTwoOverFiveMcusResetsAfterMcusTwoAndFour) {
  // Entropy bytes of two MCUs, RST0, two more, RST1, the last one, EOI.
  Use({0x11, 0x22, 0xFF, 0xD0, 0x33, 0x44, 0xFF, 0xD1, 0x55, 0xFF, 0xD9});
  scan_.restart_interval = 2;
  std::vector<int> reset_after;
  for (uint32_t mcu = 0; mcu < 5; ++mcu) {
    SetPredictions();
    input_.bit_count = 5;
    input_.eob_run = 3;
    ASSERT_EQ(process_restart(input_, scan_, 5, 1, mcu, 0), 0);
    if (PredictionsCleared()) {
      reset_after.push_back(static_cast<int>(mcu) + 1);
      EXPECT_EQ(input_.bit_count, 0);
      EXPECT_EQ(input_.eob_run, 0);
      EXPECT_EQ(input_.pending_marker, 0);
    }
  }
  EXPECT_EQ(reset_after, (std::vector<int>{2, 4}));
  // The two RST markers were taken, nothing after the second one.
  EXPECT_EQ(input_.position, 8);
}

TEST_F(EntropyRestart, MarkerAlreadyMetByTheBitReaderIsTaken) {
  Use({0x77});
  scan_.restart_interval = 1;
  input_.pending_marker = 0xD5;
  SetPredictions();
  ASSERT_EQ(process_restart(input_, scan_, 4, 1, 0, 0), 0);
  EXPECT_TRUE(PredictionsCleared());
  EXPECT_EQ(input_.pending_marker, 0);
  EXPECT_EQ(input_.position, 0);
}

TEST_F(EntropyRestart, OtherMarkerStaysPendingForTheMarkerLoop) {
  // The data ended early: EOI where RST0 should be.
  Use({0x12, 0xFF, 0xD9});
  scan_.restart_interval = 1;
  ASSERT_EQ(process_restart(input_, scan_, 4, 1, 0, 0), 0);
  EXPECT_EQ(input_.pending_marker, 0xD9);
  // The next restart point keeps it as well.
  ASSERT_EQ(process_restart(input_, scan_, 4, 1, 1, 0), 0);
  EXPECT_EQ(input_.pending_marker, 0xD9);
}

TEST_F(EntropyRestart, MissingMarkerIsABadRestart) {
  Use({0x12, 0x34, 0xFF, 0x00});
  scan_.restart_interval = 1;
  EXPECT_EQ(process_restart(input_, scan_, 4, 1, 0, 0), JPEG_ERR_BAD_RST);
}

}  // namespace
