// Reading the kind-5200 container in place: header detection, box headers,
// parameter set extraction (from a header or in band), the box walk and
// the Annex-B rewrite. Every read is checked against the bytes that remain.
#include "stream_parser.h"

#include <cstring>

namespace {

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t ReadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

const uint8_t kStartCode[4] = {0, 0, 0, 1};
constexpr uint8_t kNalTypeSps = 7;
constexpr uint8_t kNalTypePps = 8;

}  // namespace

bool StartsWithRvdx(const uint8_t* block, size_t length) {
  return block && length >= 4 && std::memcmp(block, "rvdx", 4) == 0;
}

bool ReadQboxHeader(const uint8_t* at, size_t available, QboxHeader* header) {
  if (!at || available < kQboxHeaderSize || std::memcmp(at + 4, "qbox", 4) != 0) return false;
  header->boxSize = ReadBigEndian32(at);
  header->boxFlags = ReadBigEndian32(at + 8);
  header->streamType = ReadBigEndian16(at + 12);
  header->streamId = ReadBigEndian16(at + 14);
  header->sampleFlags = ReadBigEndian32(at + 16);
  header->timeStamp = ReadBigEndian32(at + 20);
  return true;
}

void MakeGapBox(uint64_t gapMs, uint8_t (&box)[kGapBoxSize]) {
  std::memset(box, 0, sizeof box);
  for (int i = 0; i < 4; ++i) box[i] = static_cast<uint8_t>(kGapBoxSize >> (24 - 8 * i));
  std::memcpy(box + 4, "qbox", 4);
  box[11] = kQboxFlagValid;
  box[12] = static_cast<uint8_t>(kGapStreamType >> 8);
  box[13] = static_cast<uint8_t>(kGapStreamType);
  for (int i = 0; i < 8; ++i) box[kQboxHeaderSize + i] = static_cast<uint8_t>(gapMs >> (56 - 8 * i));
}

bool ReadGapBox(uint16_t streamType, const uint8_t* payload, size_t length, uint64_t& gapMs) {
  if (streamType != kGapStreamType || length != kGapBoxSize - kQboxHeaderSize) return false;
  gapMs = 0;
  for (int i = 0; i < 8; ++i) gapMs = gapMs << 8 | payload[i];
  return true;
}

bool IsVideoStream(uint16_t streamType) { return streamType == 2 || streamType == 5; }

namespace {

bool IsParameterSet(uint8_t nalHeader) {
  const uint8_t type = nalHeader & 0x1F;
  return type == kNalTypeSps || type == kNalTypePps;
}

// Appends the parameter sets among a video payload's units to `sets`.
// False for a parameter set cut short by the payload's end, or sets that
// grow past the limit; any other unit cut short ends the payload.
bool CollectParameterSets(const uint8_t* payload, size_t payloadSize, ParameterSets& sets) {
  size_t at = 0;
  while (payloadSize - at >= 4) {
    const size_t unitLength = ReadBigEndian32(payload + at);
    const size_t remaining = payloadSize - at - 4;
    if (unitLength > remaining) return !(remaining > 0 && IsParameterSet(payload[at + 4]));
    if (unitLength > 0 && IsParameterSet(payload[at + 4])) {
      if (unitLength + 4 > kMaxParameterSetBytes - sets.size()) return false;
      const size_t end = sets.size();
      sets.resize(end + 4 + unitLength);
      std::memcpy(sets.data() + end, kStartCode, 4);
      std::memcpy(sets.data() + end + 4, payload + at + 4, unitLength);
    }
    at += unitLength + 4;
  }
  return true;
}

// Built aside, so a failed extraction leaves `sets` as it was.
uint32_t KeepIfFound(ParameterSets& found, ParameterSets& sets) {
  if (found.empty()) return 0;
  sets.swap(found);
  return static_cast<uint32_t>(sets.size());
}

}  // namespace

uint32_t ExtractParameterSets(const uint8_t* area, size_t length, ParameterSets& sets) {
  ParameterSets found;
  size_t position = 0;
  while (length - position >= kQboxHeaderSize) {
    QboxHeader header;
    const uint8_t* box = area + position;
    if (!ReadQboxHeader(box, length - position, &header) || header.boxSize < kQboxHeaderSize ||
        header.boxFlags != kQboxFlagValid || header.boxSize > length - position)
      return 0;
    if (IsVideoStream(header.streamType) &&
        !CollectParameterSets(box + kQboxHeaderSize, header.boxSize - kQboxHeaderSize, found))
      return 0;
    position += header.boxSize;
  }
  return KeepIfFound(found, sets);
}

uint32_t ExtractInBandParameterSets(const uint8_t* run, size_t length, ParameterSets& sets) {
  struct Walk {
    ParameterSets found;
    bool usable = true;
  } walk;
  WalkBoxes(
      run, length,
      [](void* context, const QboxHeader& header, const uint8_t* box) {
        auto& w = *static_cast<Walk*>(context);
        if (w.usable && IsVideoStream(header.streamType))
          w.usable = CollectParameterSets(box + kQboxHeaderSize, header.boxSize - kQboxHeaderSize, w.found);
      },
      &walk);
  if (!walk.usable) return 0;
  return KeepIfFound(walk.found, sets);
}

size_t WalkBoxes(const uint8_t* run, size_t length, BoxVisitor visit, void* context) {
  size_t position = 0;
  while (position < length) {
    QboxHeader header;
    const uint8_t* box = run + position;
    if (!ReadQboxHeader(box, length - position, &header) || header.boxSize < kQboxHeaderSize ||
        header.boxSize > length - position)
      break;
    visit(context, header, box);
    position += header.boxSize;
  }
  return position;
}

size_t AnnexBSize(const QboxHeader& header, const ParameterSets* prefix) {
  return (prefix ? prefix->size() : 0) + (header.boxSize - kQboxHeaderSize);
}

size_t ConvertToAnnexB(const QboxHeader& header, const uint8_t* box, const ParameterSets* prefix, uint8_t* out,
                       size_t capacity) {
  if (!(header.boxFlags & kQboxFlagValid) || !IsVideoStream(header.streamType)) return 0;
  size_t written = 0;
  if (prefix && prefix->size() <= capacity) {
    std::memcpy(out, prefix->data(), prefix->size());
    written = prefix->size();
  }
  const uint8_t* payload = box + kQboxHeaderSize;
  const size_t payloadSize = header.boxSize - kQboxHeaderSize;
  size_t at = 0;
  while (at < payloadSize) {
    const size_t remaining = payloadSize - at;
    if (remaining < 4) {
      // Trailing bytes after the last unit go on as they are.
      if (remaining > capacity - written) break;
      std::memcpy(out + written, payload + at, remaining);
      written += remaining;
      break;
    }
    const size_t unitLength = ReadBigEndian32(payload + at);
    if (unitLength > remaining - 4 || unitLength + 4 > capacity - written) break;
    std::memcpy(out + written, kStartCode, 4);
    std::memcpy(out + written + 4, payload + at + 4, unitLength);
    written += unitLength + 4;
    at += unitLength + 4;
  }
  return written;
}
