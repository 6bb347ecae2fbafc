// Huffman tables for scans whose tables no DHT segment has defined.
//
// Motion-JPEG cameras commonly leave DHT out of their frames and rely on
// the typical tables of T.81 Annex K.3 (Tables K.3 to K.6: DC and AC,
// luminance as id 0, chrominance as id 1), which most encoders write anyway.
// libjpeg takes them in the same case, so such frames decode alike. An
// undefined table with id 2 or 3 has no standard content: the scan is
// refused with -17 "No Huffman table" rather than decoded from nothing.
#pragma once
#include "jpeg_record.h"

// Records that DHT defined table Th of class Tc.
void note_huffman_table_defined(DecoderState& state, uint32_t table_class, uint32_t id);

// Before a picture scan is decoded: gives every table the scan uses (Td
// for DC first and sequential scans, Ta for AC and sequential scans) that
// is still undefined its standard content. Returns 0 or
// JPEG_ERR_NO_HUFFMAN_TABLE.
JpegStatus supply_standard_huffman_tables(DecoderState& state, const ScanInfo& scan);
