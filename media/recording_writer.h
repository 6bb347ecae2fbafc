// The recording file of a kind-5200 stream: every block from the first
// "rvdx" header on, byte for byte, with each header's segment length (byte
// 36) filled in once the next header shows where its segment ends. A target
// that cannot seek (a pipe, a FIFO) gets every byte in order all the same;
// its headers keep the segment length the device sent (docs/sessions.md).
//
// Positions are 64-bit, so a recording goes on past 4 GiB with the layout
// unchanged: a segment length is the segment's own, and only a segment
// longer than 4 GiB (a device that never sends another header) keeps the
// device's value. Any write or seek that fails ends the recording: the
// caller stops it and reports WriteErrorText(); nothing is dropped quietly.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class RecordingWriter {
 public:
  // `fileSlot` is the session's recording file handle, null when closed.
  explicit RecordingWriter(HANDLE& fileSlot) : file_(fileSlot) {}
  virtual ~RecordingWriter() { Stop(); }
  RecordingWriter(const RecordingWriter&) = delete;
  RecordingWriter& operator=(const RecordingWriter&) = delete;

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
  // stream's next header, so the file holds whole segments only; a gap box
  // (stream_parser.h) in front of that header tells readers how long the
  // stream was away.
  void ResumeAtNextHeader();
  // Continues the recording in a new file from the stream's next header:
  // the blocks before it go to the current file, that header and all after
  // it to the new one, which then reads as a recording of its own. False
  // when no recording is open or the file cannot be created (the current
  // file goes on). A second call before that header replaces the pending
  // file, which is left empty.
  bool ContinueInto(const char* fileName);
  bool SwitchPending() const { return nextFile_ != nullptr; }
  std::string WriteErrorText() const;

  int32_t recordStarted = 0;
  uint64_t recordedBytes = 0;
  uint64_t lastHeaderPosition = 0;

 protected:
  // The file calls, one place each, so that a test can stand in for a file
  // of any size. Write: false with an error code when not every byte was
  // taken, `written` saying how many were. Seek: false when the target
  // cannot seek or the seek failed (GetLastError says which).
  virtual bool WriteToFile(const uint8_t* bytes, uint32_t length, uint32_t& written, uint32_t& error);
  virtual bool SeekFile(uint64_t position);

 private:
  // Writes the previous segment's length into its header and moves back to
  // the end of the recording; false (error noted) when that failed.
  bool FillPreviousSegmentLength();
  bool Fail(uint32_t error);
  // Closes the current file and goes on in the pending one, at its start.
  void SwitchToNextFile();
  bool WriteGapBox();
  HANDLE& file_;
  HANDLE nextFile_ = nullptr;  // ContinueInto's file, until the next header
  bool gapPending_ = false;    // a gap box goes in front of the next header
  DWORD lastWriteTick_ = 0;    // when the last block was written
  bool seekable_ = true;     // false once the first seek showed a pipe or FIFO
  uint32_t writeError_ = 0;  // the failed call's error code
};
