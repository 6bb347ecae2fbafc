// The fast MCU output routines (output_path codes 1..17 and 19, and the
// grey routine) and their full-MCU converters, JpegOps slots 35..53.
#pragma once
#include <cstdint>

#include "jpeg_ops.h"

// Fills slots 35..53 with the portable converters.
void fill_output_converters(JpegOps& ops);
// The slot-34 routine of a fast output_path code (0 = the grey routine);
// null for codes without one (18 and above 19).
McuOutput fast_output_routine(uint32_t code);
