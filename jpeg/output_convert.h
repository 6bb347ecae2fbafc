// The fast MCU output routines (output_path codes 1..17 and 19, the grey
// routine, and grey frames into 3- and 4-byte pictures) and their full-MCU
// converters: JpegOps slots 35..53 and the record's grey expanders.
#pragma once
#include <cstdint>

#include "jpeg_ops.h"

// Fills slots 35..53 with the portable converters.
void fill_output_converters(JpegOps& ops);
// The slot-34 routine of a fast output_path code (0 = the grey routine);
// null for codes without one (18 and above 19).
McuOutput fast_output_routine(uint32_t code);

// Fills the grey expanders with the portable converters.
void fill_grey_expanders(SideMembers& expanders);
// The slot-34 routine of a grey frame into a picture of `channels` (1, 3
// or 4) bytes per pixel: the sample in byte 0 (bytes 0..2 of 3 and 4),
// 255 in byte 3. It writes every output scale and any sampling factors of
// the one component; null for other channel counts. The routine of 1 byte
// is the grey routine of code 0.
McuOutput grey_routine(uint32_t channels);
// Whether `routine` also writes scaled reads (the others serve full scale
// only, the component writer the rest).
bool writes_scaled_reads(McuOutput routine);
