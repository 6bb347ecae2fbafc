// PictureRecordingWriter: records the pictures of one kind-7100 channel,
// as received, into the file of picture_recording_format.h. Runs on the
// thread that receives the pictures (the handle's own), before they are
// queued for decoding, so every picture the device sent for the channel is
// written, whether or not it is decoded later.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

class PictureRecordingWriter {
 public:
  PictureRecordingWriter() = default;
  ~PictureRecordingWriter() { Stop(); }
  PictureRecordingWriter(const PictureRecordingWriter&) = delete;
  PictureRecordingWriter& operator=(const PictureRecordingWriter&) = delete;

  // Creates (truncates) the file and writes its header; a recording under
  // way is closed first. False when the file cannot be written.
  bool Start(const char* fileName, uint32_t channel);
  void Stop();
  bool IsOpen() const { return file_ != nullptr; }
  uint32_t Channel() const { return channel_; }
  // Writes one picture that arrived at `arrivalMicros` (PictureClockMicros).
  // False on a write error: the caller stops the recording, which keeps
  // every picture written before.
  bool Write(const uint8_t* picture, uint32_t length, uint64_t arrivalMicros);
  // What went wrong with the last write, in words.
  const std::string& ErrorText() const { return error_; }

 private:
  std::FILE* file_ = nullptr;
  uint32_t channel_ = 0;
  uint64_t startMicros_ = 0;
  bool started_ = false;  // the first picture set startMicros_
  std::string error_;
};
