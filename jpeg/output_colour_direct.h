// One-pass output of a YCbCr frame into a 3-byte RGB or BGR picture for
// the general writer and the triangle filter (output_colour_direct.cpp).
#pragma once
#include "jpeg_record.h"
#include "output_place.h"

// Whether the picture and frame are that case: three YCbCr components,
// each to its byte of a 3-byte RGB or BGR pixel, converted.
bool colour_direct_applies(const DecoderState& state);

// Writes the placed MCU's pixels as the general writer would; false, with
// nothing written, when the read is not such a case.
bool write_colour_direct(const DecoderState& state, const McuPlacement& placement);

// Fills the row converters of the side members with the portable ones.
void fill_ycc_rows(SideMembers& members);
