// The kind-5200 stream container: 512-byte "rvdx" headers and "qbox" boxes
// whose video payload is H.264 with 4-byte big-endian unit lengths. These
// functions read the untrusted blocks in place, check every read against
// the bytes given, and rewrite video into Annex-B form (00 00 00 01 before
// each unit) for the decoder.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint32_t kRvdxHeaderSize = 512;
constexpr uint32_t kRvdxSegmentLengthOffset = 36;
constexpr uint32_t kRvdxParameterLengthOffset = 400;
constexpr uint32_t kQboxHeaderSize = 24;
constexpr uint32_t kQboxFlagValid = 1;       // boxFlags bit 0
constexpr uint32_t kSampleFlagKeyFrame = 4;  // sampleFlags bit 2
// Process-wide parameter set cache: start codes and units, in stream order.
constexpr uint32_t kParameterSetCacheSize = 100;

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

// Takes the sequence and picture parameter sets out of a header's parameter
// area into the process-wide cache. Returns the bytes now in the cache, 0
// when the area is malformed, holds none, or they would not fit (the cache
// then keeps what it held).
uint32_t ExtractParameterSets(const uint8_t* area, size_t length);
// Copies the cache into `out` (at most `capacity` bytes); returns its length.
uint32_t CopyParameterSetCache(uint8_t* out, size_t capacity);

// Walks a run of boxes, calling `visit` for every well-formed box. Stops at
// a box that is not "qbox", is shorter than its own header, or is longer
// than what remains. Returns the bytes walked.
typedef void (*BoxVisitor)(void* context, const QboxHeader& header, const uint8_t* box);
size_t WalkBoxes(const uint8_t* run, size_t length, BoxVisitor visit, void* context);

// Rewrites one video box into Annex-B form at `out`, with the cached
// parameter sets in front when `prefix` is set. Never writes past
// `capacity`: a unit that would not fit ends the box. Returns the bytes
// written; 0 for a box that is not valid video.
size_t ConvertToAnnexB(const QboxHeader& header, const uint8_t* box, bool prefix, uint8_t* out, size_t capacity);
