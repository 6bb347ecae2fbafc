// The marker parser: the marker search, the marker loop and one reader per
// marker segment (ITU-T T.81 B.2 and B.3, JFIF APP0, Adobe APP14).
//
// Segment readers return a negative status to end the read with it, 0 to
// go on with the next marker, or kReadComplete when the read has what its
// mode asks for (parameter and header reads, EOI). The image read driver's
// results 1 (interrupted) and 2 (region done) also end the read.
#pragma once
#include "jpeg_record.h"

// Internal result: the read is done and succeeds.
constexpr JpegStatus kReadComplete = 1000;

// The next marker's code byte (1..255), or a negative status: a buffer that
// runs out while searching gives JPEG_ERR_MEMORY, a failed file refill its
// status. A marker left pending by the bit reader comes first.
int next_marker(JpegInput& in);

// Runs the marker loop over the input, which JpegRead has reset.
JpegStatus run_marker_loop(DecoderState& state);
// Goes on with a read that returned JPEG_INTERRUPT_SUCCESS: the rest of the
// interrupted scan or output pass, then the marker loop where it stopped.
JpegStatus resume_marker_loop(DecoderState& state, Interrupted interrupted);

JpegStatus read_frame_header(DecoderState& state);      // SOF0, SOF1, SOF2
JpegStatus read_huffman_tables(DecoderState& state);    // DHT
JpegStatus read_quant_tables(DecoderState& state);      // DQT
JpegStatus read_restart_interval(DecoderState& state);  // DRI
JpegStatus read_scan(DecoderState& state);              // SOS, then the scan's data
JpegStatus read_end_of_image(DecoderState& state);      // EOI
// The rest of an interrupted scan (as read_scan's end) or output pass (as
// read_end_of_image's).
JpegStatus resume_interrupted(DecoderState& state, Interrupted interrupted);
JpegStatus read_app0(DecoderState& state);              // JFIF, JFXX thumbnails
JpegStatus read_app14(DecoderState& state);             // Adobe
JpegStatus read_comment(DecoderState& state);           // COM
JpegStatus skip_segment(DecoderState& state);           // any other segment

// Reads a segment's length L and checks L >= 2; gives JPEG_ERR_DATA otherwise.
JpegStatus read_segment_length(JpegInput& in, uint32_t& length);

constexpr uint32_t kMaxSegmentBody = 65533;
// Reads a segment's length and its whole body. A truncated body, or one
// longer than `max_body`, gives JPEG_ERR_DATA; a failed copy allocation
// JPEG_ERR_MEMORY.
JpegStatus read_segment(JpegInput& in, uint32_t max_body, SegmentBody& body);
