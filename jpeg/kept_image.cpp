// Kept progressive image (kept_image.h): matching a read's stream against
// the image whose coefficients the record holds, and recording it.
#include "kept_image.h"

#include <cstring>

#include "mcu_layout.h"
#include "prefix_hash.h"

namespace {

// Reads that use the kept coefficients: picture reads with an output pass.
bool reuses_coefficients(JpegReadMode mode) {
  return is_picture_mode(mode) && !is_thumbnail_mode(mode) && !is_file_mode(mode);
}

}  // namespace

void match_kept_image(DecoderState& state) {
  KeptImage& kept = state.kept;
  kept.matched = 0;
  kept.tables_after_scan = 0;
  const ReadFields& fields = state.fields;
  if (!kept.valid || is_file_mode(state.mode) || fields.jpeg_bytes == nullptr ||
      fields.jpeg_size_bytes != kept.size)
    return;
  kept.matched = hash_bytes(fields.jpeg_bytes, fields.jpeg_size_bytes) == kept.hash ? 1 : 0;
}

bool frame_is_kept(DecoderState& state, int64_t frame_offset) {
  KeptImage& kept = state.kept;
  kept.frame_offset = frame_offset;
  // Parameter reads stop before the first scan and leave the buffer alone.
  if (kept.matched && frame_offset == kept.kept_frame_offset &&
      (is_parameter_mode(state.mode) || reuses_coefficients(state.mode)))
    return true;
  kept.valid = 0;
  kept.matched = 0;
  return false;
}

bool restore_kept_image(DecoderState& state) {
  KeptImage& kept = state.kept;
  if (!kept.valid || !kept.matched || !reuses_coefficients(state.mode) || state.coefficients == nullptr ||
      state.coefficient_blocks < whole_image_blocks(state.frame))
    return false;
  state.progressive_scans = kept.progressive_scans;
  state.dc_complete_count = kept.dc_complete_count;
  state.ac_complete_count = kept.ac_complete_count;
  return true;
}

void keep_image(DecoderState& state) {
  KeptImage& kept = state.kept;
  const ReadFields& fields = state.fields;
  if (state.progressive_scans == 0 || kept.tables_after_scan || !reuses_coefficients(state.mode) ||
      fields.jpeg_bytes == nullptr) {
    kept.valid = 0;
    return;
  }
  if (!kept.matched) {
    kept.size = fields.jpeg_size_bytes;
    kept.hash = hash_bytes(fields.jpeg_bytes, fields.jpeg_size_bytes);
  }
  kept.valid = 1;
  kept.kept_frame_offset = kept.frame_offset;
  kept.progressive_scans = state.progressive_scans;
  kept.dc_complete_count = state.dc_complete_count;
  kept.ac_complete_count = state.ac_complete_count;
}
