// Reading a recording file back: segments, boxes, pictures and parameter
// sets, every damaged range skipped up to the next intact box or header,
// and the pictures' times on the recording's own timeline
// (recording_reader.h).
#include "recording_reader.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "stream_parser.h"

namespace {

// The window of a search for the next box or header after damage.
constexpr size_t kSearchWindow = 1u << 20;

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

class Reader {
 public:
  Reader(RecordingBytes& bytes, RecordingContents& contents) : bytes_(bytes), size_(bytes.Size()), c_(contents) {}
  void Run();

 private:
  bool HeaderAt(uint64_t at) {
    const uint8_t* tag = size_ - at >= 4 ? bytes_.View(at, 4) : nullptr;
    return tag && StartsWithRvdx(tag, 4);
  }
  // Why the box at `at` cannot be read, or null with its header and bytes.
  const char* BoxProblem(uint64_t at, QboxHeader& header, const uint8_t*& box);
  // A box that reading may resume at: it reads, carries the valid flag,
  // and is followed by a box, a header or the file's end.
  bool IntactBoxAt(uint64_t at);
  // The first offset past `from` where a header starts or a box's tag
  // lies; the file's size when there is none.
  uint64_t NextTag(uint64_t from);
  uint64_t ResumeAfter(uint64_t from, const RecordedSegment* segment);
  void TakeHeader(uint64_t at);
  void AssignTimes();

  RecordingBytes& bytes_;
  const uint64_t size_;
  RecordingContents& c_;
  std::vector<std::pair<size_t, uint64_t>> gaps_;  // box index of each gap box, its gap
};

const char* Reader::BoxProblem(uint64_t at, QboxHeader& header, const uint8_t*& box) {
  const uint64_t remaining = size_ - at;
  if (remaining < kQboxHeaderSize) return "box header cut short";
  const uint8_t* head = bytes_.View(at, kQboxHeaderSize);
  if (!head) return "cannot be read";
  if (!ReadQboxHeader(head, kQboxHeaderSize, &header) || header.boxSize < kQboxHeaderSize)
    return "neither a header nor a box";
  if (header.boxSize > remaining) return "box cut short";
  if (header.boxSize > kMaxRecordedBoxBytes) return "box larger than any block";
  box = bytes_.View(at, header.boxSize);
  if (!box) return "cannot be read";
  if (IsVideoStream(header.streamType) && header.boxSize > kQboxHeaderSize &&
      SplitLengthPrefixedUnits(box + kQboxHeaderSize, header.boxSize - kQboxHeaderSize).empty())
    return "unit length past its box";
  return nullptr;
}

bool Reader::IntactBoxAt(uint64_t at) {
  QboxHeader header;
  const uint8_t* box = nullptr;
  if (BoxProblem(at, header, box) || !(header.boxFlags & kQboxFlagValid)) return false;
  if (!IsVideoStream(header.streamType)) return header.streamType == 1 || header.streamType == 6 ||
                                                header.streamType == kGapStreamType;
  // A picture: its units fill the payload exactly (BoxProblem) and the
  // first is a slice or a parameter set with a clear forbidden bit.
  if (header.boxSize < kQboxHeaderSize + 5) return false;
  const uint8_t unit = box[kQboxHeaderSize + 4];
  const uint8_t type = unit & 0x1F;
  return (unit & 0x80) == 0 && type >= 1 && type <= 12;
}

uint64_t Reader::NextTag(uint64_t from) {
  for (uint64_t at = from; size_ - at >= 4;) {
    const size_t window = static_cast<size_t>(std::min<uint64_t>(kSearchWindow + 8, size_ - at));
    const uint8_t* view = bytes_.View(at, window);
    if (!view) return size_;
    for (size_t i = 0; i + 4 <= window; ++i) {
      if (view[i] == 'r' && std::memcmp(view + i, "rvdx", 4) == 0) return at + i;
      if (i + 8 <= window && view[i + 4] == 'q' && std::memcmp(view + i + 4, "qbox", 4) == 0) return at + i;
    }
    if (window < kSearchWindow + 8) break;
    at += window - 8;  // a tag across the window's end is found in the next
  }
  return size_;
}

// A header look-alike inside a picture is passed over when the segment's
// length field points at a real header past the damage.
uint64_t Reader::ResumeAfter(uint64_t from, const RecordedSegment* segment) {
  const uint64_t pointed = segment ? segment->offset + segment->lengthField : 0;
  const bool pointedHeader = segment && pointed > from && pointed < size_ && HeaderAt(pointed);
  for (uint64_t at = NextTag(from + 1); at < size_; at = NextTag(at + 1)) {
    if (HeaderAt(at)) {
      if (!pointedHeader || at == pointed) return at;
    } else if (IntactBoxAt(at)) {
      return at;
    }
  }
  return size_;
}

void Reader::TakeHeader(uint64_t at) {
  RecordedSegment* previous = c_.segments.empty() ? nullptr : &c_.segments.back();
  if (previous) {
    previous->length = at - previous->offset;
    c_.deviceLengths += previous->lengthField != previous->length;
  }
  const uint8_t* header = bytes_.View(at, kRvdxHeaderSize);
  RecordedSegment next;
  next.offset = at;
  if (header) {
    next.lengthField = ReadLittleEndian32(header + kRvdxSegmentLengthOffset);
    next.parameterSets = ParameterSetsOf(header);
  }
  if (c_.parameterSets.empty()) c_.parameterSets = next.parameterSets;
  c_.segments.push_back(std::move(next));
}

void Reader::Run() {
  c_.size = size_;
  uint64_t position = 0;
  while (position < size_) {
    RecordedSegment* segment = c_.segments.empty() ? nullptr : &c_.segments.back();
    const bool header = HeaderAt(position);
    if (header && size_ - position >= kRvdxHeaderSize) {
      TakeHeader(position);
      position += kRvdxHeaderSize;
      continue;
    }
    QboxHeader boxHeader;
    const uint8_t* at = nullptr;
    const char* problem = header ? "header cut short" : BoxProblem(position, boxHeader, at);
    if (problem) {
      const uint64_t resume = ResumeAfter(position, segment);
      c_.damages.push_back({position, resume, problem});
      // A header cut short lies after its segment's last box.
      if (segment && !header) segment->intact = false;
      position = resume;
      continue;
    }
    RecordedBox box;
    box.offset = position;
    box.size = boxHeader.boxSize;
    box.streamType = boxHeader.streamType;
    box.sampleFlags = boxHeader.sampleFlags;
    box.timeStamp = boxHeader.timeStamp;
    box.video = IsVideoStream(boxHeader.streamType);
    box.key = box.video && (boxHeader.sampleFlags & kSampleFlagKeyFrame) != 0;
    box.segment = static_cast<int32_t>(c_.segments.size()) - 1;
    box.damagesBefore = static_cast<uint32_t>(c_.damages.size());
    uint64_t gap = 0;
    if (ReadGapBox(boxHeader.streamType, at + kQboxHeaderSize, box.size - kQboxHeaderSize, gap))
      gaps_.emplace_back(c_.boxes.size(), gap);
    c_.pictures += box.video;
    c_.keyPictures += box.key;
    c_.boxes.push_back(box);
    position += boxHeader.boxSize;
  }
  if (!c_.segments.empty()) c_.segments.back().length = size_ - c_.segments.back().offset;
  AssignTimes();
}

// The stamps' most common forward step (ties to the shorter), ignoring
// jumps; kDefaultPictureStepMs when there is none.
int64_t PictureStep(const std::vector<RecordedBox>& boxes) {
  std::map<int64_t, uint32_t> steps;
  const RecordedBox* previous = nullptr;
  for (const RecordedBox& box : boxes) {
    if (!box.video) continue;
    if (previous) {
      const int64_t step = int64_t{box.timeStamp} - previous->timeStamp;
      if (step > 0 && step <= kMaxTimeJumpMs) ++steps[step];
    }
    previous = &box;
  }
  int64_t best = kDefaultPictureStepMs;
  uint32_t seen = 0;
  for (const auto& [step, count] : steps)
    if (count > seen) best = step, seen = count;
  return best;
}

void Reader::AssignTimes() {
  c_.pictureStep = PictureStep(c_.boxes);
  const int64_t step = c_.pictureStep;
  auto gap = gaps_.begin();
  bool first = true;
  int64_t shift = 0, earliest = 0, latest = 0, pendingGap = -1;
  uint32_t latestStamp = 0;
  for (size_t index = 0; index < c_.boxes.size(); ++index) {
    RecordedBox& box = c_.boxes[index];
    if (gap != gaps_.end() && gap->first == index) {
      pendingGap = static_cast<int64_t>(std::min<uint64_t>(gap->second, INT32_MAX));
      ++gap;
    }
    if (!box.video) continue;
    int64_t time = int64_t{box.timeStamp} + shift;
    if (first) {
      first = false;
      shift = -int64_t{box.timeStamp};
      time = 0;
      latestStamp = box.timeStamp;
      pendingGap = -1;
    }
    // Within a group, stamps go back by the B-frames' reordering; a key
    // picture never shows before what came ahead of it.
    const bool back = box.key ? time < latest : time < latest - kMaxTimeJumpMs;
    if (pendingGap >= 0 || back || time > latest + kMaxTimeJumpMs) {
      const int64_t wanted = latest + std::max(step, pendingGap);
      shift += wanted - time;
      time = wanted;
      c_.jumps.push_back({box.offset, latestStamp, box.timeStamp, pendingGap});
      pendingGap = -1;
    }
    box.time = time;
    earliest = std::min(earliest, time);
    if (time >= latest) latest = time, latestStamp = box.timeStamp;
  }
  c_.durationMs = first ? 0 : latest - earliest + step;
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

RecordingContents ReadRecording(RecordingBytes& bytes) {
  RecordingContents contents;
  Reader(bytes, contents).Run();
  return contents;
}

RecordingContents ReadRecording(const uint8_t* data, size_t length) {
  MemoryRecordingBytes bytes(data, length);
  return ReadRecording(bytes);
}
