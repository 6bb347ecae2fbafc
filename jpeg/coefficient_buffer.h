// The whole-image coefficient buffer of progressive frames (and of the
// sequential blocks tests keep). Its pages cost far more to fault in than
// to clear, so the record keeps the buffer from one picture to the next
// and clears what a frame needs; a frame larger than the buffer, or much
// smaller, gets a fresh one, so the record holds at most its largest
// recent picture's coefficients (within kMaxCoefficientBytes).
#pragma once
#include "jpeg_record.h"

// At a frame's first progressive scan (or first kept sequential block):
// makes `coefficients` hold the frame's blocks, all zero, so a scan that
// refines coefficients no earlier scan set reads defined values.
JpegStatus prepare_coefficient_buffer(DecoderState& state);

// Gives the buffer back (a sequential frame has no use for it; JpegFree).
void release_coefficient_buffer(DecoderState& state);
