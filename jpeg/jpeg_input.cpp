// Buffer and file input of the decoder: reset, refill of the 4096-byte file
// buffer, and the segment reads of the marker parser.
//
// Segment bodies are parsed in place; only a body that straddles a file
// refill is gathered into a copy, so a refill never discards bytes that a
// caller still needs. Every shortfall is reported as a status.
#include <algorithm>
#include <cstring>

#include "jpeg_input.h"

namespace {

void clear_bit_state(JpegInput& in) {
  in.bit_buffer = 0;
  in.bit_count = 0;
  in.position = 0;
  in.eob_run = 0;
  in.pending_marker = 0;
  in.sequential_components = 0;
}

// Copies `count` bytes into `destination`, refilling a file input as it
// empties. Buffer input that runs short, or a failed refill, gives
// JPEG_ERR_DATA.
JpegStatus read_bytes(JpegInput& in, uint8_t* destination, uint32_t count) {
  while (count > 0) {
    if (in.next == in.end) {
      if (!input_is_file(in) || input_refill(in) < 0) return JPEG_ERR_DATA;
    }
    const uint32_t piece = std::min(count, input_available(in));
    std::memcpy(destination, in.next, piece);
    in.next += piece;
    in.position += piece;
    destination += piece;
    count -= piece;
  }
  return JPEG_SUCCESS;
}

}  // namespace

void input_reset_buffer(JpegInput& in, const uint8_t* data, uint32_t size) {
  clear_bit_state(in);
  in.file = nullptr;
  in.file_offset = 0;
  in.start = data;
  in.next = data;
  in.end = data + size;
  in.size = size;
}

void input_reset_file(JpegInput& in, HANDLE file, int64_t file_offset) {
  clear_bit_state(in);
  in.file = file;
  in.file_offset = file_offset;
  in.start = in.file_buffer;
  in.next = in.file_buffer;
  in.end = in.file_buffer;
  in.size = 0;
}

JpegStatus input_refill(JpegInput& in) {
  if (!input_is_file(in)) return JPEG_ERR_FILE;
  in.file_offset += in.end - in.start;
  in.next = in.file_buffer;
  in.end = in.file_buffer;
  DWORD read = 0;
  if (!ReadFile(in.file, in.file_buffer, kFileBufferBytes, &read, nullptr) || read == 0) return JPEG_ERR_FILE;
  in.end = in.file_buffer + std::min<DWORD>(read, kFileBufferBytes);
  return JPEG_SUCCESS;
}

JpegStatus input_segment_body(JpegInput& in, uint32_t size, SegmentBody& body) {
  body.copy_.reset();
  body.size_ = size;
  if (input_available(in) >= size) {
    body.data_ = in.next;
    in.next += size;
    in.position += size;
    return JPEG_SUCCESS;
  }
  if (!input_is_file(in)) return JPEG_ERR_DATA;  // a buffer cannot supply more
  body.copy_.reset(new (std::nothrow) uint8_t[size]);
  if (!body.copy_) return JPEG_ERR_MEMORY;
  body.data_ = body.copy_.get();
  const JpegStatus status = read_bytes(in, body.copy_.get(), size);
  if (status < 0) body.copy_.reset();
  return status;
}

JpegStatus input_read_u16(JpegInput& in, uint32_t& value) {
  uint8_t bytes[2];
  const JpegStatus status = read_bytes(in, bytes, 2);
  if (status < 0) return status;
  value = static_cast<uint32_t>(bytes[0] << 8 | bytes[1]);
  return JPEG_SUCCESS;
}

JpegStatus input_skip(JpegInput& in, uint32_t count) {
  while (count > 0) {
    if (in.next == in.end) {
      if (!input_is_file(in) || input_refill(in) < 0) return JPEG_ERR_DATA;
    }
    const uint32_t piece = std::min(count, input_available(in));
    in.next += piece;
    in.position += piece;
    count -= piece;
  }
  return JPEG_SUCCESS;
}

int64_t input_stream_size(const JpegInput& in) {
  if (!input_is_file(in)) return in.size;
  DWORD high = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD low = GetFileSize(in.file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return -1;
  return static_cast<int64_t>(uint64_t{high} << 32 | low);
}

namespace {

bool set_file_position(HANDLE file, int64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(ERROR_SUCCESS);
  const DWORD low = SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS);
}

}  // namespace

JpegStatus input_seek(JpegInput& in, int64_t offset) {
  if (offset < 0) return JPEG_ERR_DATA;
  const int64_t moved = offset - input_offset(in);
  if (!input_is_file(in)) {
    if (offset > static_cast<int64_t>(in.size)) return JPEG_ERR_DATA;
    in.next = in.start + offset;
  } else {
    if (!set_file_position(in.file, offset)) return JPEG_ERR_FILE;
    in.file_offset = offset;
    in.next = in.end = in.file_buffer;
  }
  in.position += moved;
  return JPEG_SUCCESS;
}

bool input_copy_at(JpegInput& in, int64_t offset, uint8_t* destination, uint32_t count) {
  if (offset < 0) return false;
  if (!input_is_file(in)) {
    if (offset + count > static_cast<int64_t>(in.size)) return false;
    std::memcpy(destination, in.start + offset, count);
    return true;
  }
  const int64_t window = in.end - in.start;  // file bytes held now, from file_offset
  if (offset >= in.file_offset && offset + count <= in.file_offset + window) {
    std::memcpy(destination, in.start + (offset - in.file_offset), count);
    return true;
  }
  // Elsewhere in the file: read there, then put the file position back
  // where the next refill expects it.
  DWORD read = 0;
  const bool copied = set_file_position(in.file, offset) &&
                      ReadFile(in.file, destination, count, &read, nullptr) && read == count;
  return set_file_position(in.file, in.file_offset + window) && copied;
}

int input_skip_to_marker(JpegInput& in) {
  for (;;) {
    if (in.next == in.end) {
      if (!input_is_file(in)) return kEndOfInput;
      const JpegStatus status = input_refill(in);
      if (status < 0) return status;
    }
    const uint8_t* found = static_cast<const uint8_t*>(std::memchr(in.next, 0xFF, static_cast<size_t>(in.end - in.next)));
    const uint8_t* stop = found ? found + 1 : in.end;
    in.position += stop - in.next;
    in.next = stop;
    if (!found) continue;
    int code;
    do {
      code = input_next_byte(in);
    } while (code == 0xFF);
    if (code < 0 || code == kEndOfInput) return code;
    if (code != 0x00) return code;
  }
}
