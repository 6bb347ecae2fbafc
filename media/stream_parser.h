// The kind-5200 stream container: 512-byte "rvdx" headers and "qbox" boxes
// whose video payload is H.264 with 4-byte big-endian unit lengths. These
// functions read the untrusted blocks in place, check every read against
// the bytes given, and rewrite video into Annex-B form (00 00 00 01 before
// each unit) for the decoder.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr uint32_t kRvdxHeaderSize = 512;
constexpr uint32_t kRvdxSegmentLengthOffset = 36;
constexpr uint32_t kRvdxParameterLengthOffset = 400;
constexpr uint32_t kQboxHeaderSize = 24;
constexpr uint32_t kQboxFlagValid = 1;       // boxFlags bit 0
constexpr uint32_t kSampleFlagKeyFrame = 4;  // sampleFlags bit 2
// The most parameter-set bytes (start codes included) a stream may carry:
// far more than the largest legal sequence and picture parameter sets with
// all their tables and timing information need.
constexpr uint32_t kMaxParameterSetBytes = 16384;

// The box the recording writer leaves where the stream had a gap (a
// reconnection): a box like any other, of a stream type no device uses,
// which every reader of the stream passes over as it does audio; its
// 8-byte big-endian payload is the wall-clock milliseconds from the last
// block written before the gap to the first after it. Files without it
// mean what they always meant.
constexpr uint16_t kGapStreamType = 0x6770;  // "gp"
constexpr uint32_t kGapBoxSize = kQboxHeaderSize + 8;
void MakeGapBox(uint64_t gapMs, uint8_t (&box)[kGapBoxSize]);
// The gap of a gap box's payload; false when it is not one.
bool ReadGapBox(uint16_t streamType, const uint8_t* payload, size_t length, uint64_t& gapMs);

struct QboxHeader {
  uint32_t boxSize;
  uint32_t boxFlags;
  uint16_t streamType;
  uint16_t streamId;
  uint32_t sampleFlags;
  uint32_t timeStamp;
};

// True when the block starts with the four bytes "rvdx".
bool StartsWithRvdx(const uint8_t* block, size_t length);
// Reads a box header at `at`; false when fewer than 24 bytes remain or the
// type is not "qbox". Sizes are not checked here.
bool ReadQboxHeader(const uint8_t* at, size_t available, QboxHeader* header);
bool IsVideoStream(uint16_t streamType);

// A stream's sequence and picture parameter sets in Annex-B form: start
// code and unit for each, in stream order. Each session keeps its own.
using ParameterSets = std::vector<uint8_t>;

// Takes the parameter sets out of a header's parameter area into `sets`.
// Returns the bytes now in `sets`; 0 when the area is malformed, holds
// none, or holds more than kMaxParameterSetBytes (`sets` then keeps what it
// held).
uint32_t ExtractParameterSets(const uint8_t* area, size_t length, ParameterSets& sets);
// The same for the parameter sets carried in band, among the units of the
// video boxes of a run (a key frame whose sets do not fit a header's
// 255-byte parameter area). The walk ends at the first malformed box.
uint32_t ExtractInBandParameterSets(const uint8_t* run, size_t length, ParameterSets& sets);

// Walks a run of boxes, calling `visit` for every well-formed box. Stops at
// a box that is not "qbox", is shorter than its own header, or is longer
// than what remains. Returns the bytes walked.
typedef void (*BoxVisitor)(void* context, const QboxHeader& header, const uint8_t* box);
size_t WalkBoxes(const uint8_t* run, size_t length, BoxVisitor visit, void* context);

// Rewrites one video box into Annex-B form at `out`, with `prefix` (the
// parameter sets; null for none) in front. Never writes past `capacity`: a
// unit that would not fit ends the box. Returns the bytes written; 0 for a
// box that is not valid video.
// The bytes ConvertToAnnexB writes for a well-formed video box: its
// payload (each 4-byte length becomes a 4-byte start code) and the prefix.
size_t AnnexBSize(const QboxHeader& header, const ParameterSets* prefix);
size_t ConvertToAnnexB(const QboxHeader& header, const uint8_t* box, const ParameterSets* prefix, uint8_t* out,
                       size_t capacity);
