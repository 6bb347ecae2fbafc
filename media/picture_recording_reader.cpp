// Kind-7100 recordings read back (see picture_recording_reader.h).
#include "picture_recording_reader.h"

#include <cstring>

#include "picture_recording_format.h"

namespace {

uint64_t LittleEndian(const uint8_t* at, int bytes) {
  uint64_t value = 0;
  for (int i = bytes; i-- > 0;) value = value << 8 | at[i];
  return value;
}

// A whole record at `at`: its tag, a length that fits, a JPEG start.
bool RecordAt(const uint8_t* bytes, size_t length, size_t at, RecordedPicture& picture) {
  if (length - at < kPictureRecordHeaderBytes) return false;
  const uint8_t* header = bytes + at;
  if (std::memcmp(header, kPictureRecordTag, sizeof kPictureRecordTag) != 0) return false;
  const auto pictureLength = static_cast<uint32_t>(LittleEndian(header + 4, 4));
  const size_t start = at + kPictureRecordHeaderBytes;
  if (pictureLength < 2 || pictureLength > kMaxRecordedPictureBytes || pictureLength > length - start) return false;
  if (bytes[start] != 0xFF || bytes[start + 1] != 0xD8) return false;
  picture = RecordedPicture{start, pictureLength, LittleEndian(header + 8, 8)};
  return true;
}

}  // namespace

bool IsPictureRecording(const uint8_t* bytes, size_t length) {
  return bytes && length >= kPictureRecordingHeaderBytes &&
         std::memcmp(bytes, kPictureRecordingMagic, sizeof kPictureRecordingMagic) == 0;
}

bool ReadPictureRecording(const uint8_t* bytes, size_t length, PictureRecording& recording, std::string& problem) {
  if (!IsPictureRecording(bytes, length)) {
    problem = "not a kind-7100 recording (no VKTJPEG1 header)";
    return false;
  }
  recording = PictureRecording{};
  recording.channel = static_cast<uint32_t>(LittleEndian(bytes + 8, 4));
  size_t at = kPictureRecordingHeaderBytes;
  while (at < length) {
    RecordedPicture picture{};
    if (RecordAt(bytes, length, at, picture)) {
      recording.pictures.push_back(picture);
      at = picture.offset + picture.length;
      continue;
    }
    // Damage: on to the next record that reads whole, or to the end.
    size_t next = at + 1;
    while (next < length && !RecordAt(bytes, length, next, picture)) ++next;
    recording.damaged.emplace_back(at, next);
    at = next;
  }
  return true;
}
