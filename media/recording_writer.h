// The recording file of a kind-5200 stream: every block from the first
// "rvdx" header on, byte for byte, with each header's segment length (byte
// 36) filled in once the next header shows where its segment ends. A target
// that cannot seek (a pipe, a FIFO) gets every byte in order all the same;
// its headers keep the segment length the device sent (docs/sessions.md).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class RecordingWriter {
 public:
  // `fileSlot` is the session's recording file handle, null when closed.
  explicit RecordingWriter(HANDLE& fileSlot) : file_(fileSlot) {}

  // Creates (or truncates) the file, ending any recording under way first.
  bool Start(const char* fileName);
  // Closes the file without touching it again and clears the state.
  void Stop();
  bool IsOpen() const { return file_ != nullptr; }

  // Called for every block the stream reader keeps. Writing starts with
  // the first block that starts with a header. False when the file
  // refused the bytes (disk full, I/O error): WriteErrorText says why and
  // the caller stops the recording.
  bool WriteBlock(const uint8_t* block, uint32_t length, bool startsWithHeader);
  // After a gap in the stream (a reconnection), writing goes on with the
  // stream's next header, so the file holds whole segments only.
  void ResumeAtNextHeader() { recordStarted = 0; }
  std::string WriteErrorText() const;

  int32_t recordStarted = 0;
  uint32_t recordedBytes = 0;
  uint32_t lastHeaderPosition = 0;

 private:
  // Writes the previous segment's length into its header; true when the
  // file position is back at the end of the recording.
  bool FillPreviousSegmentLength();
  HANDLE& file_;
  bool seekable_ = true;  // false once a seek of this file failed
  DWORD writeError_ = 0;  // the last failed write's error code
};
