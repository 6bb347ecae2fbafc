// One-pass output of a YCbCr frame into a 3-byte RGB or BGR picture for
// the general writer and the triangle filter (output_colour_direct.cpp).
#pragma once
#include "jpeg_record.h"
#include "output_place.h"

// Whether the picture and frame are that case: three YCbCr components,
// each to its byte of a 3-byte RGB or BGR pixel, converted.
bool colour_direct_applies(const DecoderState& state);

// Writes the placed MCU's pixels as the general writer would (through the
// row band when it is active: then they reach the picture at the next
// flush); false, with nothing written, when the read is not such a case.
bool write_colour_direct(DecoderState& state, const McuPlacement& placement);

// Largest row band; wider pictures with taller MCUs convert MCU by MCU.
constexpr uint64_t kMaxRowBandBytes = uint64_t{4} << 20;

// Makes the row band active for the scan whose output plan was just made
// when its MCUs take this path (allocating it on first use; without
// memory the MCUs are converted one by one). Empties the band.
void prepare_row_band(DecoderState& state);

// Converts the pixels gathered in the row band into the picture. The MCU
// loops' callers run it whenever a loop returns, so the picture holds
// every MCU output so far, also after an interrupt or a failure.
void flush_row_band(DecoderState& state);

// Fills the row converters of the side members with the portable ones.
void fill_ycc_rows(SideMembers& members);
