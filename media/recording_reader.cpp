// Reading a recording file back: segments, boxes, pictures and parameter
// sets, stopping at the first damage (recording_reader.h).
#include "recording_reader.h"

#include <cstring>

#include "stream_parser.h"

namespace {

uint32_t ReadLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint32_t ReadBigEndian32At(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}

// Ends the read: what was read stays, with where and why it stopped.
RecordingContents& MarkDamage(RecordingContents& contents, uint64_t offset, const char* problem) {
  contents.damaged = true;
  contents.badOffset = offset;
  contents.problem = problem;
  return contents;
}

// The parameter sets of a header's parameter area (the header's last N
// bytes, N in byte 400); an area that does not parse yields none.
std::vector<std::vector<uint8_t>> ParameterSetsOf(const uint8_t* header) {
  std::vector<std::vector<uint8_t>> sets;
  const size_t areaLength = header[kRvdxParameterLengthOffset];
  const uint8_t* area = header + kRvdxHeaderSize - areaLength;
  size_t position = 0;
  while (areaLength - position >= kQboxHeaderSize) {
    QboxHeader box;
    if (!ReadQboxHeader(area + position, areaLength - position, &box) || box.boxSize < kQboxHeaderSize ||
        box.boxSize > areaLength - position)
      return {};
    if (IsVideoStream(box.streamType)) {
      const uint8_t* payload = area + position + kQboxHeaderSize;
      for (const auto& [at, length] : SplitLengthPrefixedUnits(payload, box.boxSize - kQboxHeaderSize)) {
        const uint8_t type = length > 0 ? payload[at] & 0x1F : 0;
        if (type == 7 || type == 8) sets.emplace_back(payload + at, payload + at + length);
      }
    }
    position += box.boxSize;
  }
  return sets;
}

}  // namespace

std::vector<std::pair<size_t, size_t>> SplitLengthPrefixedUnits(const uint8_t* payload, size_t length) {
  std::vector<std::pair<size_t, size_t>> units;
  size_t at = 0;
  while (at < length) {
    if (length - at < 4) return {};
    const size_t unit = ReadBigEndian32At(payload + at);
    if (unit > length - at - 4) return {};
    units.emplace_back(at + 4, unit);
    at += 4 + unit;
  }
  return units;
}

RecordingContents ReadRecording(const uint8_t* data, size_t length) {
  RecordingContents contents;
  size_t position = 0;
  // Where the previous header started, to check its segment length.
  bool previousHeader = false;
  size_t previousHeaderAt = 0;
  while (position < length) {
    const uint8_t* at = data + position;
    const size_t remaining = length - position;
    if (StartsWithRvdx(at, remaining)) {
      if (remaining < kRvdxHeaderSize) return MarkDamage(contents, position, "header cut short");
      // Every segment but the last carries its own length.
      if (previousHeader &&
          ReadLittleEndian32(data + previousHeaderAt + kRvdxSegmentLengthOffset) != position - previousHeaderAt)
        return MarkDamage(contents, previousHeaderAt + kRvdxSegmentLengthOffset,
                          "segment length differs from the segment");
      if (contents.parameterSets.empty()) contents.parameterSets = ParameterSetsOf(at);
      ++contents.segments;
      previousHeader = true;
      previousHeaderAt = position;
      position += kRvdxHeaderSize;
      contents.wholeBytes = position;
      continue;
    }
    QboxHeader header;
    if (remaining < kQboxHeaderSize) return MarkDamage(contents, position, "box header cut short");
    if (!ReadQboxHeader(at, remaining, &header) || header.boxSize < kQboxHeaderSize)
      return MarkDamage(contents, position, "neither a header nor a box");
    if (header.boxSize > remaining) return MarkDamage(contents, position, "box cut short");
    RecordedBox box;
    box.offset = position;
    box.size = header.boxSize;
    box.streamType = header.streamType;
    box.sampleFlags = header.sampleFlags;
    box.timeStamp = header.timeStamp;
    box.video = IsVideoStream(header.streamType);
    box.key = box.video && (header.sampleFlags & kSampleFlagKeyFrame) != 0;
    if (box.video && header.boxSize > kQboxHeaderSize &&
        SplitLengthPrefixedUnits(at + kQboxHeaderSize, header.boxSize - kQboxHeaderSize).empty())
      return MarkDamage(contents, position, "unit length past its box");
    contents.pictures += box.video;
    contents.keyPictures += box.key;
    contents.boxes.push_back(box);
    position += header.boxSize;
    contents.wholeBytes = position;
  }
  return contents;
}
