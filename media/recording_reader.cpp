// Reading a recording file back: segments, boxes, pictures and parameter
// sets, with every damaged range skipped up to the next header
// (recording_reader.h).
#include "recording_reader.h"

#include <algorithm>
#include <cstring>

#include "stream_parser.h"

namespace {

uint32_t ReadLittleEndian32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint32_t ReadBigEndian32At(const uint8_t* at) {
  return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | uint32_t{at[3]};
}

// The parameter sets of a header's parameter area (the header's last N
// bytes, N in byte 400); an area that does not parse yields none.
NalUnits ParameterSetsOf(const uint8_t* header) {
  NalUnits sets;
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

// Where reading goes on after damage at `offset`: the header the current
// segment's length field points at when it lies past the damage (a header
// look-alike inside a picture is then passed over), else the next "rvdx"
// after the damage, else the end.
size_t ResumeAfter(const uint8_t* data, size_t length, size_t offset, const RecordedSegment* segment) {
  if (segment) {
    const uint64_t next = segment->offset + segment->lengthField;
    if (next > offset && next < length && StartsWithRvdx(data + next, length - next)) return static_cast<size_t>(next);
  }
  static constexpr uint8_t kTag[] = {'r', 'v', 'd', 'x'};
  const uint8_t* found = std::search(data + offset + 1, data + length, std::begin(kTag), std::end(kTag));
  return static_cast<size_t>(found - data);
}

// Why the box at `at` cannot be read, or null when it can.
const char* BoxProblem(const uint8_t* at, size_t remaining, QboxHeader& header) {
  if (remaining < kQboxHeaderSize) return "box header cut short";
  if (!ReadQboxHeader(at, remaining, &header) || header.boxSize < kQboxHeaderSize) return "neither a header nor a box";
  if (header.boxSize > remaining) return "box cut short";
  if (IsVideoStream(header.streamType) && header.boxSize > kQboxHeaderSize &&
      SplitLengthPrefixedUnits(at + kQboxHeaderSize, header.boxSize - kQboxHeaderSize).empty())
    return "unit length past its box";
  return nullptr;
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
  while (position < length) {
    const uint8_t* at = data + position;
    const size_t remaining = length - position;
    RecordedSegment* segment = contents.segments.empty() ? nullptr : &contents.segments.back();
    if (StartsWithRvdx(at, remaining) && remaining >= kRvdxHeaderSize) {
      if (segment) {
        segment->length = position - segment->offset;
        contents.deviceLengths += segment->lengthField != segment->length;
      }
      RecordedSegment next;
      next.offset = position;
      next.lengthField = ReadLittleEndian32(at + kRvdxSegmentLengthOffset);
      next.parameterSets = ParameterSetsOf(at);
      if (contents.parameterSets.empty()) contents.parameterSets = next.parameterSets;
      contents.segments.push_back(std::move(next));
      position += kRvdxHeaderSize;
      continue;
    }
    QboxHeader header;
    const bool cutHeader = StartsWithRvdx(at, remaining);
    const char* problem = cutHeader ? "header cut short" : BoxProblem(at, remaining, header);
    if (problem) {
      const size_t resume = ResumeAfter(data, length, position, segment);
      contents.damages.push_back({position, resume, problem});
      // A header cut short lies after its segment's last box.
      if (segment && !cutHeader) segment->intact = false;
      position = resume;
      continue;
    }
    RecordedBox box;
    box.offset = position;
    box.size = header.boxSize;
    box.streamType = header.streamType;
    box.sampleFlags = header.sampleFlags;
    box.timeStamp = header.timeStamp;
    box.video = IsVideoStream(header.streamType);
    box.key = box.video && (header.sampleFlags & kSampleFlagKeyFrame) != 0;
    box.segment = static_cast<int32_t>(contents.segments.size()) - 1;
    box.damagesBefore = static_cast<uint32_t>(contents.damages.size());
    contents.pictures += box.video;
    contents.keyPictures += box.key;
    contents.boxes.push_back(box);
    position += header.boxSize;
  }
  if (!contents.segments.empty()) contents.segments.back().length = length - contents.segments.back().offset;
  return contents;
}
