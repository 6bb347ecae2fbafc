// Reader of recording files (segments of a 512-byte "rvdx" header and
// "qbox" boxes, as the recording writer leaves them). The file is untrusted:
// every length is checked against the bytes given, and the first thing
// that does not fit ends the read with its offset and a reason, keeping
// everything whole before it. Used by vkt-rec; no platform calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One box of the recording, located in the bytes that were read.
struct RecordedBox {
  uint64_t offset = 0;  // of the box header
  uint32_t size = 0;    // whole box
  uint16_t streamType = 0;
  uint32_t sampleFlags = 0;
  uint32_t timeStamp = 0;
  bool video = false;  // stream type 2 or 5: one picture
  bool key = false;    // sampleFlags bit 2
};

struct RecordingContents {
  uint32_t segments = 0;
  std::vector<RecordedBox> boxes;
  uint32_t pictures = 0;
  uint32_t keyPictures = 0;
  // NAL units (without start codes or lengths) of the sequence and picture
  // parameter sets of the first header that carries any.
  std::vector<std::vector<uint8_t>> parameterSets;
  // Set when the file is damaged or cut short: where, and why. `wholeBytes`
  // is where the last whole box (or header) ends.
  bool damaged = false;
  uint64_t badOffset = 0;
  std::string problem;
  uint64_t wholeBytes = 0;
};

RecordingContents ReadRecording(const uint8_t* data, size_t length);

// The H.264 units of a video box's payload (4-byte big-endian lengths), as
// [offset, length) pairs relative to `payload`. Empty when a length runs
// past the payload.
std::vector<std::pair<size_t, size_t>> SplitLengthPrefixedUnits(const uint8_t* payload, size_t length);
