// The decoder's byte source: either the caller's buffer or a file read
// through a 4096-byte buffer that is refilled when it runs empty.
//
// The marker parser reads segment headers and bodies through it; the
// entropy decoder's bit reader keeps its bit buffer, bit count, pending
// marker and end-of-band run here and pulls bytes with input_next_byte (or
// directly from next/end on its fast path). A marker met inside entropy data
// is left in pending_marker; the marker search returns it first.
//
// Every read is checked against `end`; nothing here reads past the input.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "vktjpeg.h"

constexpr uint32_t kFileBufferBytes = 4096;
// Result of input_next_byte / input_peek_byte / the marker search when a
// buffer input is exhausted. Distinct from bytes (0..255) and statuses (< 0).
constexpr int kEndOfInput = 256;

struct JpegInput {
  uint64_t bit_buffer;     // entropy decoder: the low bit_count bits come next, MSB first
  int32_t bit_count;
  const uint8_t* next;     // next byte to take
  const uint8_t* start;    // buffer input: first byte; file input: the file buffer
  const uint8_t* end;      // one past the last byte available now
  int64_t position;        // bytes taken since the input was reset
  uint32_t size;           // buffer input: its length
  int32_t eob_run;         // EOBRUN of progressive AC scans
  uint8_t pending_marker;  // code byte of a marker met by the bit reader, 0 = none
  uint32_t sequential_components;  // components decoded by sequential scans so far
  HANDLE file;             // file input, or null for buffer input
  int64_t file_offset;     // file input: offset in the file of file_buffer[0]
  alignas(16) uint8_t file_buffer[kFileBufferBytes];
};

inline bool input_is_file(const JpegInput& in) { return in.file != nullptr; }
inline uint32_t input_available(const JpegInput& in) { return static_cast<uint32_t>(in.end - in.next); }

// Starts reading the caller's buffer from its first byte.
void input_reset_buffer(JpegInput& in, const uint8_t* data, uint32_t size);
// Starts reading `file` at its current position with an empty file buffer.
void input_reset_file(JpegInput& in, HANDLE file, int64_t file_offset);

// File input only, and only when the buffer is empty: reads up to 4096
// bytes. End of file or a read error gives JPEG_ERR_FILE.
JpegStatus input_refill(JpegInput& in);

// The next byte (0..255) taken from the input; kEndOfInput when a buffer
// input is exhausted; a negative status when a file refill fails.
inline int input_next_byte(JpegInput& in) {
  if (in.next == in.end) {
    if (!input_is_file(in)) return kEndOfInput;
    const JpegStatus status = input_refill(in);
    if (status < 0) return status;
  }
  ++in.position;
  return *in.next++;
}

// As input_next_byte, without taking the byte.
inline int input_peek_byte(JpegInput& in) {
  if (in.next == in.end) {
    if (!input_is_file(in)) return kEndOfInput;
    const JpegStatus status = input_refill(in);
    if (status < 0) return status;
  }
  return *in.next;
}

// Bytes of one marker segment body: in place when the input holds them all,
// otherwise gathered into an owned copy across file refills.
class SegmentBody {
 public:
  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  friend JpegStatus input_segment_body(JpegInput& in, uint32_t size, SegmentBody& body);
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  std::unique_ptr<uint8_t[]> copy_;
};

// Reads `size` bytes of a segment body. Truncated input gives
// JPEG_ERR_DATA; a failed allocation of the copy gives JPEG_ERR_MEMORY.
JpegStatus input_segment_body(JpegInput& in, uint32_t size, SegmentBody& body);
// Reads a big-endian 16-bit value (segment length); truncation gives JPEG_ERR_DATA.
JpegStatus input_read_u16(JpegInput& in, uint32_t& value);
// Passes over `count` bytes; truncation gives JPEG_ERR_DATA.
JpegStatus input_skip(JpegInput& in, uint32_t count);

// Offset in the stream of the next byte to take: from the buffer's first
// byte, or from the file's first byte.
inline int64_t input_offset(const JpegInput& in) { return (input_is_file(in) ? in.file_offset : 0) + (in.next - in.start); }
// Bytes in the whole stream: the buffer's length, or the file's size; -1
// when the file's size cannot be read.
int64_t input_stream_size(const JpegInput& in);
// Moves the input to stream offset `offset` (bit state untouched; a file
// input starts with an empty buffer there). JPEG_ERR_DATA past the end of a
// buffer, JPEG_ERR_FILE when a file cannot be positioned.
JpegStatus input_seek(JpegInput& in, int64_t offset);
// Copies `count` bytes at stream offset `offset` without moving the input.
// False when they are not all there.
bool input_copy_at(JpegInput& in, int64_t offset, uint8_t* destination, uint32_t count);
// Passes over entropy-coded bytes (stuffed 0xFF 0x00 pairs and fill bytes
// included) up to the next marker and takes it: returns its code byte,
// kEndOfInput when a buffer input ends first, or a negative status.
int input_skip_to_marker(JpegInput& in);
