// Kept progressive image (kept_image.h): matching a read's stream against
// the image whose coefficients the record holds, and recording it.
#include "kept_image.h"

#include <cstring>

#include "mcu_layout.h"

namespace {

// Reads that use the kept coefficients: picture reads with an output pass.
bool reuses_coefficients(JpegReadMode mode) {
  return is_picture_mode(mode) && !is_thumbnail_mode(mode) && !is_file_mode(mode);
}

}  // namespace

uint64_t stream_hash(const uint8_t* bytes, size_t size) {
  // Four independent lanes of multiply and rotate over 8-byte words, so the
  // multiplies overlap: a few hundredths of a millisecond for a 1080p
  // picture, against milliseconds for its scans.
  constexpr uint64_t kPrime = 0x9E3779B97F4A7C15ull;
  uint64_t lanes[4] = {size, size ^ 0x243F6A8885A308D3ull, size ^ 0x13198A2E03707344ull, ~size};
  size_t at = 0;
  for (; at + 32 <= size; at += 32) {
    for (int i = 0; i < 4; ++i) {
      uint64_t word;
      std::memcpy(&word, bytes + at + 8 * i, sizeof word);
      lanes[i] = ((lanes[i] ^ word) * kPrime);
      lanes[i] = (lanes[i] << 29) | (lanes[i] >> 35);
    }
  }
  uint64_t hash = lanes[0] ^ (lanes[1] * 3) ^ (lanes[2] * 5) ^ (lanes[3] * 7);
  for (; at < size; ++at) hash = (hash ^ bytes[at]) * kPrime;
  return hash ^ (hash >> 31);
}

void match_kept_image(DecoderState& state) {
  KeptImage& kept = state.kept;
  kept.matched = 0;
  kept.tables_after_scan = 0;
  const ReadFields& fields = state.fields;
  if (!kept.valid || is_file_mode(state.mode) || fields.jpeg_bytes == nullptr ||
      fields.jpeg_size_bytes != kept.size)
    return;
  kept.matched = stream_hash(fields.jpeg_bytes, fields.jpeg_size_bytes) == kept.hash ? 1 : 0;
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
    kept.hash = stream_hash(fields.jpeg_bytes, fields.jpeg_size_bytes);
  }
  kept.valid = 1;
  kept.kept_frame_offset = kept.frame_offset;
  kept.progressive_scans = state.progressive_scans;
  kept.dc_complete_count = state.dc_complete_count;
  kept.ac_complete_count = state.ac_complete_count;
}
