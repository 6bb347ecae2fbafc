// Whole-image coefficient buffer (coefficient_buffer.h): reuse when the
// frame fits, a fresh zeroed allocation otherwise.
#include "coefficient_buffer.h"

#include <cstring>

#include "mcu_layout.h"
#include "zeroed_pages.h"

namespace {

// A buffer more than this many times the frame's blocks is given back
// rather than kept for a small picture.
constexpr size_t kMaxReuseRatio = 4;

}  // namespace

JpegStatus prepare_coefficient_buffer(DecoderState& state) {
  const size_t blocks = whole_image_blocks(state.frame);
  // In 64 bits: a 65535x65535 frame's bytes wrap a 32-bit size_t (to 0 for
  // three components).
  if (uint64_t{blocks} * sizeof(CoefficientBlock) > kMaxCoefficientBytes) return JPEG_ERR_MEMORY;
  if (state.coefficients != nullptr && blocks <= state.coefficient_blocks &&
      state.coefficient_blocks / kMaxReuseRatio <= blocks) {
    std::memset(state.coefficients, 0, blocks * sizeof(CoefficientBlock));
    state.coefficients_prepared = 1;
    return JPEG_SUCCESS;
  }
  release_coefficient_buffer(state);
  state.coefficients = static_cast<CoefficientBlock*>(allocate_zeroed_pages(blocks * sizeof(CoefficientBlock)));
  if (state.coefficients == nullptr) return JPEG_ERR_MEMORY;
  state.coefficient_blocks = blocks;
  state.coefficients_prepared = 1;
  return JPEG_SUCCESS;
}

void release_coefficient_buffer(DecoderState& state) {
  free_zeroed_pages(state.coefficients, state.coefficient_blocks * sizeof(CoefficientBlock));
  state.coefficients = nullptr;
  state.coefficient_blocks = 0;
  state.coefficients_prepared = 0;
  state.kept.valid = 0;
}
