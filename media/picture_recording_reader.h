// Reading a kind-7100 recording back (picture_recording_format.h) from
// untrusted bytes: every record is checked against the bytes there are; a
// record that does not fit ends the readable part, and reading resumes at
// the next record tag whose picture starts like a JPEG picture, so one
// spoilt record costs only itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RecordedPicture {
  size_t offset;           // of the picture's bytes in the file
  uint32_t length;
  uint64_t arrivalMicros;  // from the recording's start
};

struct PictureRecording {
  uint32_t channel = 0;
  std::vector<RecordedPicture> pictures;
  // Byte ranges that held no readable record: [first, end).
  std::vector<std::pair<size_t, size_t>> damaged;
};

// True when the bytes start like a kind-7100 recording.
bool IsPictureRecording(const uint8_t* bytes, size_t length);
// False (with `problem` set) when the bytes are not such a recording at all.
bool ReadPictureRecording(const uint8_t* bytes, size_t length, PictureRecording& recording, std::string& problem);
