// The recording file writer: segments written as received, each header's
// segment length filled in when the next header arrives. A failed write
// or seek ends the recording (the session reports why); the byte count
// follows what the file really holds, so segment lengths stay true to the
// file.
#include "recording_writer.h"

#include <cstdio>

#include "stream_parser.h"

namespace {

HANDLE CreateRecordingFile(const char* fileName) {
  if (!fileName) return nullptr;
  HANDLE created = CreateFileA(fileName, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  return created == INVALID_HANDLE_VALUE ? nullptr : created;
}

}  // namespace

bool RecordingWriter::Start(const char* fileName) {
  Stop();
  file_ = CreateRecordingFile(fileName);
  return file_ != nullptr;
}

void RecordingWriter::Stop() {
  if (file_) CloseHandle(file_);
  if (nextFile_) CloseHandle(nextFile_);
  file_ = nextFile_ = nullptr;
  seekable_ = true;
  gapPending_ = false;
  recordStarted = 0;
  recordedBytes = 0;
  lastHeaderPosition = 0;
}

void RecordingWriter::ResumeAtNextHeader() {
  recordStarted = 0;
  gapPending_ = file_ && recordedBytes != 0;
}

bool RecordingWriter::ContinueInto(const char* fileName) {
  if (!file_) return false;
  HANDLE created = CreateRecordingFile(fileName);
  if (!created) return false;
  if (nextFile_) CloseHandle(nextFile_);
  nextFile_ = created;
  return true;
}

void RecordingWriter::SwitchToNextFile() {
  // The old file's last segment keeps the device's length, as every
  // recording's last segment does.
  CloseHandle(file_);
  file_ = nextFile_;
  nextFile_ = nullptr;
  seekable_ = true;
  gapPending_ = false;
  recordedBytes = 0;
  lastHeaderPosition = 0;
}

// Part of the segment before the gap, so its length covers it.
bool RecordingWriter::WriteGapBox() {
  gapPending_ = false;
  uint8_t box[kGapBoxSize];
  MakeGapBox(GetTickCount() - lastWriteTick_, box);
  uint32_t written = 0, error = 0;
  const bool whole = WriteToFile(box, sizeof box, written, error);
  recordedBytes += written;
  return whole || Fail(error);
}

bool RecordingWriter::WriteToFile(const uint8_t* bytes, uint32_t length, uint32_t& written, uint32_t& error) {
  DWORD count = 0;
  const BOOL whole = WriteFile(file_, bytes, length, &count, nullptr);
  written = count;
  if (whole && count == length) return true;
  error = whole ? ERROR_DISK_FULL : GetLastError();
  return false;
}

bool RecordingWriter::SeekFile(uint64_t position) {
  LONG high = static_cast<LONG>(position >> 32);
  // The high word makes SetFilePointer take the position as 64-bit; a low
  // half of all ones is a position, not a failure, when no error is set.
  SetLastError(ERROR_SUCCESS);
  const DWORD low = SetFilePointer(file_, static_cast<LONG>(static_cast<uint32_t>(position)), &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == ERROR_SUCCESS;
}

bool RecordingWriter::Fail(uint32_t error) {
  writeError_ = error;
  return false;
}

bool RecordingWriter::FillPreviousSegmentLength() {
  const uint64_t segment = recordedBytes - lastHeaderPosition;
  // A field of 32 bits cannot hold a longer segment: it keeps the device's
  // value, which readers take as advisory anyway.
  if (segment > UINT32_MAX) return true;
  if (!SeekFile(lastHeaderPosition + kRvdxSegmentLengthOffset)) {
    // A target that cannot seek (a pipe, a FIFO): the position never moved,
    // so the recording goes on at its end, every header keeping the
    // segment length the device sent. No later header tries again.
    seekable_ = false;
    return true;
  }
  uint8_t length[4];
  for (int i = 0; i < 4; ++i) length[i] = static_cast<uint8_t>(segment >> (8 * i));
  uint32_t written = 0, error = 0;
  const bool filled = WriteToFile(length, sizeof length, written, error);
  // Writing anywhere but at the end would overwrite what is recorded.
  if (!SeekFile(recordedBytes)) return Fail(GetLastError());
  return filled || Fail(error);
}

bool RecordingWriter::WriteBlock(const uint8_t* block, uint32_t length, bool startsWithHeader) {
  if (startsWithHeader) recordStarted = 1;
  if (!recordStarted || !file_ || !block || length == 0) return true;
  if (startsWithHeader && nextFile_) SwitchToNextFile();
  if (startsWithHeader && gapPending_ && !WriteGapBox()) return false;
  // A header cut short by a failed write has no length field to fill.
  const bool previousSegment = seekable_ && startsWithHeader && recordedBytes != 0 &&
                               recordedBytes - lastHeaderPosition >= kRvdxSegmentLengthOffset + 4;
  if (previousSegment && !FillPreviousSegmentLength()) return false;
  if (startsWithHeader) lastHeaderPosition = recordedBytes;
  uint32_t written = 0, error = 0;
  const bool whole = WriteToFile(block, length, written, error);
  recordedBytes += written;
  lastWriteTick_ = GetTickCount();
  return whole || Fail(error);
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
      char text[48];
      std::snprintf(text, sizeof text, "write or seek error %lu", static_cast<unsigned long>(writeError_));
      return text;
    }
  }
}
