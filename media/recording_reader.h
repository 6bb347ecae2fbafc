// Reader of recording files (segments of a 512-byte "rvdx" header and
// "qbox" boxes, as the recording writer leaves them). The file is untrusted:
// every length is checked against the bytes given. Whatever does not fit
// (a box of size 0, a wrong type, a unit past its box, a cut) becomes one
// damaged range, and the read resumes at the next segment header, so one
// bad box costs at most the rest of its segment. A header's segment length
// is the device's in a recording into a pipe or FIFO: it is advisory, the
// headers are found by walking the boxes. Used by vkt-rec; no platform calls.
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
  int32_t segment = -1;     // index into RecordingContents::segments; -1 before the first header
  uint32_t damagesBefore = 0;  // damaged ranges between the file's start and this box
};

// NAL units without start codes or lengths.
using NalUnits = std::vector<std::vector<uint8_t>>;

struct RecordedSegment {
  uint64_t offset = 0;       // of its header
  uint64_t length = 0;       // to the next header, or to the end of the file
  uint32_t lengthField = 0;  // byte 36 of its header
  NalUnits parameterSets;    // the sequence and picture parameter sets of its header
  bool intact = true;        // no damaged range inside it
};

// Bytes [offset, end) that could not be read, and why.
struct DamagedRange {
  uint64_t offset = 0;
  uint64_t end = 0;
  std::string problem;
};

struct RecordingContents {
  std::vector<RecordedSegment> segments;
  std::vector<RecordedBox> boxes;
  uint32_t pictures = 0;
  uint32_t keyPictures = 0;
  // The parameter sets of the first header that carries any.
  NalUnits parameterSets;
  std::vector<DamagedRange> damages;
  // Segments but the last whose length field is not their length: those of
  // a recording into a pipe or FIFO, where the device's value stays.
  uint32_t deviceLengths = 0;
  bool damaged() const { return !damages.empty(); }
};

RecordingContents ReadRecording(const uint8_t* data, size_t length);

// The H.264 units of a video box's payload (4-byte big-endian lengths), as
// [offset, length) pairs relative to `payload`. Empty when a length runs
// past the payload.
std::vector<std::pair<size_t, size_t>> SplitLengthPrefixedUnits(const uint8_t* payload, size_t length);
