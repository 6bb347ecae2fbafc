// Reader of recording files (segments of a 512-byte "rvdx" header and
// "qbox" boxes, as the recording writer leaves them). The file is untrusted:
// every length is checked against the bytes there are. Whatever does not
// fit (a box of size 0, a wrong type, a unit past its box, a cut) becomes
// one damaged range, and the read resumes at the next intact box (its tag,
// a size within the file and the largest block, the valid flag, a stream
// type devices send, and for a picture units that fill its payload, the
// first a plausible NAL unit) or the next segment header,
// whichever comes first, so one bad box costs only its own bytes. A
// header's segment length is the device's in a recording into a pipe or
// FIFO: it is advisory, the headers are found by walking the boxes.
//
// The file is read through RecordingBytes, a window at a time: what is
// kept is one small record per box, whatever the file's length.
//
// Times: each video box gets a time on the recording's own timeline, in
// milliseconds from its first picture. Box timestamps are taken as they
// are, except where they go back (a device whose clock restarted, a
// stream that began again at 0) or jump by more than kMaxTimeJumpMs: there
// the timeline goes on at the stream's own picture step, and the jump is
// listed. A gap box (stream_parser.h) left by the writer after a
// reconnection makes the timeline go on after the wall-clock time the gap
// lasted, so the recording keeps its true duration. Used by vkt-rec; no
// platform calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recording_bytes.h"

// Forward jumps of the box timestamps up to this are taken as they are
// (a device that dropped pictures); longer ones, and any step back at a
// key picture, are discontinuities.
constexpr int64_t kMaxTimeJumpMs = 3000;
// The picture step when the stamps tell none (25 pictures a second).
constexpr int64_t kDefaultPictureStepMs = 40;
// No box of a recording is larger than the largest block a device can send.
constexpr uint32_t kMaxRecordedBoxBytes = 8u * 1024 * 1024;

// One box of the recording, located in the file.
struct RecordedBox {
  uint64_t offset = 0;  // of the box header
  uint32_t size = 0;    // whole box
  uint16_t streamType = 0;
  uint32_t sampleFlags = 0;
  uint32_t timeStamp = 0;
  int64_t time = 0;  // video: on the recording's timeline (above), ms
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

// Where the timeline does not follow the box timestamps.
struct TimeJump {
  uint64_t offset = 0;     // of the first video box after it
  uint32_t fromStamp = 0;  // the latest box timestamp before it
  uint32_t toStamp = 0;    // that box's timestamp
  int64_t gapMs = -1;      // the wall-clock gap a gap box gave; -1 for none
};

struct RecordingContents {
  uint64_t size = 0;  // of the file
  std::vector<RecordedSegment> segments;
  std::vector<RecordedBox> boxes;
  uint32_t pictures = 0;
  uint32_t keyPictures = 0;
  // The parameter sets of the first header that carries any.
  NalUnits parameterSets;
  std::vector<DamagedRange> damages;
  std::vector<TimeJump> jumps;
  int64_t pictureStep = kDefaultPictureStepMs;  // the stamps' most common step
  int64_t durationMs = 0;  // from the first picture to the end of the last
  // Segments but the last whose length field is not their length: those of
  // a recording into a pipe or FIFO, where the device's value stays.
  uint32_t deviceLengths = 0;
  bool damaged() const { return !damages.empty(); }
};

RecordingContents ReadRecording(RecordingBytes& bytes);
RecordingContents ReadRecording(const uint8_t* data, size_t length);

// The H.264 units of a video box's payload (4-byte big-endian lengths), as
// [offset, length) pairs relative to `payload`. Empty when a length runs
// past the payload.
std::vector<std::pair<size_t, size_t>> SplitLengthPrefixedUnits(const uint8_t* payload, size_t length);
