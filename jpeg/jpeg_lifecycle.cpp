// JpegInit and JpegFree: the record's defaults, processor dispatch, and
// the release of everything a read may leave behind.
#include <cstdlib>
#include <new>

#include "coefficient_buffer.h"
#include "exception_guard.h"
#include "huffman_shared.h"
#include "jpeg_record.h"
#include "resume_table.h"
#include "skip_tables.h"

namespace {

void set_public_defaults(JPEG_PROPERTIES& p) {
  p.use_inner_fields = 0;
  p.picture_bytes = nullptr;
  p.picture_width = 0;
  p.picture_height = 0;
  p.picture_pad_bytes = 0;
  p.picture_channels = 3;
  p.picture_color = COLOR_BGR;
  p.picture_subsampling = 0;
  p.jpeg_file_name = nullptr;
  p.jpeg_bytes = nullptr;
  p.jpeg_size_bytes = 0;
  p.jpeg_width = 0;
  p.jpeg_height = 0;
  p.jpeg_channels = 3;
  p.jpeg_color = COLOR_YCBCR;
  p.jpeg_subsampling = 1;
  p.thumbnail_width = 0;
  p.thumbnail_height = 0;
  p.color_conversion_required = 1;
  p.upsampling_required = 1;
  p.quality = 75;
  p.mode = MODE_NONE;
  p.region = JpegRegion{0, 0, 0, 0};
  p.dct_kind = 1;
  p.upsampling_kind = 0;
  p.interrupt = 0;
  p.jpeg_comment = nullptr;
  p.jpeg_comment_size = 0;
  p.markers = JpegMarkerValues{};
  p.markers.jfif_version = 0x0101;
  p.markers.x_density = 1;
  p.markers.y_density = 1;
  p.markers.adobe_version = 100;
}

void set_state_defaults(DecoderState& state) {
  state.mode = MODE_NONE;
  state.dct_kind = 1;
  state.frame_pending = 1;
  state.stop_offset = -1;
}

JpegStatus initialise(JPEG_PROPERTIES& properties) {
  set_public_defaults(properties);
  DecoderState* state = new (properties.decoder_state) DecoderState{};
  set_state_defaults(*state);
  state->markers = properties.markers;
  state->processor_kind = dispatch_jpeg_ops(state->ops, state->side_members);
  state->magic = kDecoderStateMagic;
  return JPEG_SUCCESS;
}

JpegStatus release(DecoderState& state) {
  std::free(state.file_name);
  state.file_name = nullptr;
  // A file that will not close is reported, but everything else is still
  // released: returning at once leaked the record's buffers.
  const bool close_failed = state.file && !CloseHandle(state.file);
  state.file = nullptr;
  release_coefficient_buffer(state);
  state.kept = KeptImage{};
  resume_release(state);
  release_skip_tables(state);
  release_pair_lookups(state);
  std::free(state.filter.samples);
  state.filter = UpsampleFilter{};
  std::free(state.band.samples);
  state.band = RowBand{};
  state.quant_ids_seen = state.quant_tables_read = 0;
  state.huffman_ids_seen = state.dc_tables_read = state.ac_tables_read = state.huffman_defined = 0;
  release_jpeg_ops(state.ops);
  // As before, such a record keeps its mark, so freeing it again succeeds.
  if (close_failed) return JPEG_ERR_CLOSE_FILE;
  state.magic = 0;
  return JPEG_SUCCESS;
}

}  // namespace

extern "C" VKT_JPEG_API JpegStatus VKT_JPEG_CALL JpegInit(JPEG_PROPERTIES* properties) {
  if (!properties) return JPEG_ERR_INVALID_PROPERTIES;
  const JpegStatus status = run_guarded([&] { return initialise(*properties); });
  if (status < 0) {
    // The state is constructed before anything that can fail: release
    // what dispatch acquired so that JpegFree has nothing left to do.
    DecoderState& state = state_of(*properties);
    release_jpeg_ops(state.ops);
    state.magic = 0;
  }
  return status;
}

extern "C" VKT_JPEG_API JpegStatus VKT_JPEG_CALL JpegFree(JPEG_PROPERTIES* properties) {
  if (!properties) return JPEG_ERR_INVALID_PROPERTIES;
  DecoderState& state = state_of(*properties);
  if (state.magic != kDecoderStateMagic) return JPEG_ERR_INVALID_PROPERTIES;  // not initialised
  return run_guarded([&] { return release(state); });
}
