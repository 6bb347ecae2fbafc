// Writing a kind-7100 recording (see picture_recording_writer.h).
#include "picture_recording_writer.h"

#include <cerrno>
#include <cstring>

#include "picture_recording_format.h"

namespace {

void PutLittleEndian(uint8_t* at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool PictureRecordingWriter::Start(const char* fileName, uint32_t channel) {
  Stop();
  if (!fileName || !*fileName) return false;
  file_ = std::fopen(fileName, "wb");
  if (!file_) return false;
  uint8_t header[kPictureRecordingHeaderBytes] = {};
  std::memcpy(header, kPictureRecordingMagic, sizeof kPictureRecordingMagic);
  PutLittleEndian(header + 8, channel, 4);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header || std::fflush(file_) != 0) {
    Stop();
    return false;
  }
  channel_ = channel;
  started_ = false;
  error_.clear();
  return true;
}

void PictureRecordingWriter::Stop() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool PictureRecordingWriter::Write(const uint8_t* picture, uint32_t length, uint64_t arrivalMicros) {
  if (!file_ || !picture || length == 0 || length > kMaxRecordedPictureBytes) return true;
  if (!started_) {
    startMicros_ = arrivalMicros;
    started_ = true;
  }
  uint8_t header[kPictureRecordHeaderBytes];
  std::memcpy(header, kPictureRecordTag, sizeof kPictureRecordTag);
  PutLittleEndian(header + 4, length, 4);
  PutLittleEndian(header + 8, arrivalMicros - startMicros_, 8);
  // Each picture reaches the file whole before the next arrives: a process
  // that dies loses at most the picture being written.
  errno = 0;
  if (std::fwrite(header, 1, sizeof header, file_) == sizeof header &&
      std::fwrite(picture, 1, length, file_) == length && std::fflush(file_) == 0)
    return true;
  error_ = errno ? std::strerror(errno) : "the file could not be written";
  return false;
}
