// Reading the kind-5200 container in place: header detection, box headers,
// parameter set extraction into the process-wide cache, the box walk and
// the Annex-B rewrite. Every read is checked against the bytes that remain.
#include "stream_parser.h"

#include <cstring>
#include <mutex>

namespace {

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t ReadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

const uint8_t kStartCode[4] = {0, 0, 0, 1};
constexpr uint8_t kNalTypeSps = 7;
constexpr uint8_t kNalTypePps = 8;

// Sessions on different threads share the cache; the lock keeps a reader
// from seeing half an extraction.
std::mutex g_cacheLock;
uint8_t g_cache[kParameterSetCacheSize];
uint32_t g_cacheLength = 0;

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

bool IsVideoStream(uint16_t streamType) { return streamType == 2 || streamType == 5; }

uint32_t ExtractParameterSets(const uint8_t* area, size_t length) {
  // Built aside, so a failed extraction leaves the cache as it was.
  uint8_t sets[kParameterSetCacheSize];
  uint32_t total = 0;
  size_t position = 0;
  while (length - position >= kQboxHeaderSize) {
    QboxHeader header;
    const uint8_t* box = area + position;
    if (!ReadQboxHeader(box, length - position, &header) || header.boxSize < kQboxHeaderSize ||
        header.boxFlags != kQboxFlagValid || header.boxSize > length - position)
      return 0;
    if (IsVideoStream(header.streamType)) {
      const uint8_t* payload = box + kQboxHeaderSize;
      const size_t payloadSize = header.boxSize - kQboxHeaderSize;
      size_t at = 0;
      while (payloadSize - at >= 4) {
        const size_t unitLength = ReadBigEndian32(payload + at);
        const size_t remaining = payloadSize - at - 4;
        if (unitLength > remaining) {
          // A unit cut short by its box: fatal only for a parameter set.
          if (remaining > 0 && ((payload[at + 4] & 0x1F) == kNalTypeSps || (payload[at + 4] & 0x1F) == kNalTypePps))
            return 0;
          break;
        }
        const uint8_t nalType = unitLength > 0 ? payload[at + 4] & 0x1F : 0;
        if (nalType == kNalTypeSps || nalType == kNalTypePps) {
          if (unitLength + 4 > sizeof sets - total) return 0;
          std::memcpy(sets + total, kStartCode, 4);
          std::memcpy(sets + total + 4, payload + at + 4, unitLength);
          total += static_cast<uint32_t>(unitLength + 4);
        }
        at += unitLength + 4;
      }
    }
    position += header.boxSize;
  }
  if (total == 0) return 0;
  std::lock_guard<std::mutex> hold(g_cacheLock);
  std::memcpy(g_cache, sets, total);
  g_cacheLength = total;
  return total;
}

uint32_t CopyParameterSetCache(uint8_t* out, size_t capacity) {
  std::lock_guard<std::mutex> hold(g_cacheLock);
  if (g_cacheLength > capacity) return 0;
  std::memcpy(out, g_cache, g_cacheLength);
  return g_cacheLength;
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

size_t ConvertToAnnexB(const QboxHeader& header, const uint8_t* box, bool prefix, uint8_t* out, size_t capacity) {
  if (!(header.boxFlags & kQboxFlagValid) || !IsVideoStream(header.streamType)) return 0;
  size_t written = prefix ? CopyParameterSetCache(out, capacity) : 0;
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
