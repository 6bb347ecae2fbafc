// Kept progressive image: a progressive picture is complete only after its
// last scan, so every read of it (region and scaled reads too) would
// decode every scan again. The record keeps the finished coefficients of
// the last progressive image it read from a buffer, with the size and a
// hash of the whole stream; a later read of the same bytes goes from the
// first scan's header straight to the output pass. See docs/jpeg.md
// (resource limits) for what it holds and for how long.
#pragma once
#include <cstddef>
#include <cstdint>

#include "jpeg_record.h"

// At the start of a read: whether the kept coefficients came from the
// bytes this read takes (a buffer of the same size and hash).
void match_kept_image(DecoderState& state);

// At a frame header starting at stream offset `frame_offset`: true when
// the coefficient buffer holds this frame's finished coefficients and the
// read will use them; otherwise the kept image is dropped.
bool frame_is_kept(DecoderState& state, int64_t frame_offset);

// At the first scan of a progressive frame that frame_is_kept took: sets
// the scan counts the finished image had; false when nothing is kept.
bool restore_kept_image(DecoderState& state);

// At the end of a progressive image read from a buffer: keeps its
// coefficients for the next read, unless a quantisation table changed
// after its first scan (the output pass uses the tables read before it).
void keep_image(DecoderState& state);
