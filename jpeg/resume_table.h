// The resume table of sequential region reads: for each MCU row of the
// scan, the input position, bit state and DC predictions at the row's
// first MCU, filled as region reads pass rows and used by later region
// reads of the same stream to start at their first row.
//
// Entries hold stream offsets, never pointers, and are only used on the
// bytes they were recorded from: the table is keyed by the source (buffer
// address, or file name), the stream's size, the scan's geometry and the
// Huffman tables it uses, and each entry keeps a hash of every stream byte
// before its offset, checked before the entry is used. A mismatch drops
// the entries ahead of the read.
#pragma once
#include "jpeg_record.h"
#include "mcu_layout.h"

// Called at the start of a scan's data: keeps the table when the stream is
// the one it was recorded from, otherwise sizes it for the scan's MCU rows
// and starts it afresh with row 0 at the current position. Returns 0 or
// JPEG_ERR_MEMORY.
JpegStatus resume_attach(DecoderState& state, const ScanLayout& layout);

// Whether row `row`'s entry is known.
bool resume_known(const DecoderState& state, uint32_t row);

// Records the current input state as the start of row `row` when unknown.
void resume_record(DecoderState& state, const ScanInfo& scan, uint32_t row);

// Moves the input to the start of row `row` and restores the DC
// predictions. False, with the entries ahead dropped and the input
// untouched, when the bytes before it are not those it was recorded from.
bool resume_restore(DecoderState& state, ScanInfo& scan, uint32_t row);

// Besides row starts, each row keeps one mark at the first MCU a region
// read output in it, so that a repeated read of the same columns skips
// the MCUs left of the region too. Recording replaces the row's mark.
void resume_mark(DecoderState& state, const ScanInfo& scan, uint32_t row, uint32_t column);
// Restores row `row`'s mark when its column lies in [after, up_to]; returns
// whether it did (as resume_restore otherwise).
bool resume_restore_mark(DecoderState& state, ScanInfo& scan, uint32_t row, uint32_t after, uint32_t up_to);

// Releases the table (JpegFree).
void resume_release(DecoderState& state);
