// The recording file writer: segments written as received, each header's
// segment length filled in when the next header arrives. A failed write
// ends the recording (the session reports why); the byte count follows
// what the file really holds, so segment lengths stay true to the file.
#include "recording_writer.h"

#include <cstdio>

#include "stream_parser.h"

bool RecordingWriter::Start(const char* fileName) {
  Stop();
  if (!fileName) return false;
  HANDLE created = CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (created == INVALID_HANDLE_VALUE) return false;
  file_ = created;
  return true;
}

void RecordingWriter::Stop() {
  if (file_) CloseHandle(file_);
  file_ = nullptr;
  seekable_ = true;
  recordStarted = 0;
  recordedBytes = 0;
  lastHeaderPosition = 0;
}

bool RecordingWriter::FillPreviousSegmentLength() {
  uint8_t length[4];
  const uint32_t segment = recordedBytes - lastHeaderPosition;
  for (int i = 0; i < 4; ++i) length[i] = static_cast<uint8_t>(segment >> (8 * i));
  // Offsets stay below 4 GiB (WriteBlock refuses to grow past that); the
  // high word makes SetFilePointer take them as unsigned.
  LONG high = 0;
  const uint32_t fieldPosition = lastHeaderPosition + kRvdxSegmentLengthOffset;
  if (SetFilePointer(file_, static_cast<LONG>(fieldPosition), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    // A target that cannot seek (a pipe, a FIFO): the position never moved,
    // so the recording goes on at its end, every header keeping the
    // segment length the device sent. No later header tries again.
    seekable_ = false;
    return true;
  }
  DWORD written = 0;
  WriteFile(file_, length, sizeof length, &written, nullptr);
  high = 0;
  return SetFilePointer(file_, static_cast<LONG>(recordedBytes), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool RecordingWriter::WriteBlock(const uint8_t* block, uint32_t length, bool startsWithHeader) {
  if (startsWithHeader) recordStarted = 1;
  if (!recordStarted || !file_ || !block || length == 0) return true;
  // The file's offsets are 32-bit: a block that would carry it past 4 GiB
  // ends the recording's growth instead of corrupting its segment lengths.
  if (length > UINT32_MAX - recordedBytes) return true;
  // A header cut short by a failed write has no length field to fill.
  const bool previousSegment = seekable_ && startsWithHeader && recordedBytes != 0 &&
                               recordedBytes - lastHeaderPosition >= kRvdxSegmentLengthOffset + 4;
  // Writing anywhere but at the end would overwrite what is recorded.
  if (previousSegment && !FillPreviousSegmentLength()) return true;
  if (startsWithHeader) lastHeaderPosition = recordedBytes;
  DWORD written = 0;
  const BOOL whole = WriteFile(file_, block, length, &written, nullptr);
  recordedBytes += written;
  if (!whole) writeError_ = GetLastError();
  return whole;
}

std::string RecordingWriter::WriteErrorText() const {
  switch (writeError_) {
    case ERROR_DISK_FULL:
      return "no space left on the device";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "not enough memory";
    default: {
      // Not std::to_string: its digit table would become an export of the
      // shared library.
      char text[32];
      std::snprintf(text, sizeof text, "write error %lu", static_cast<unsigned long>(writeError_));
      return text;
    }
  }
}
