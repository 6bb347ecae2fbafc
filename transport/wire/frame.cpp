// Frame header codec: byte layout and validity checks of the 16-byte header.
#include "frame.h"

namespace vkt::wire {

const char* frameStatusText(FrameStatus status) {
  switch (status) {
#define VKT_FRAME_STATUS_TEXT(name, text) \
  case FrameStatus::name:                 \
    return text;
    VKT_FRAME_STATUS_LIST(VKT_FRAME_STATUS_TEXT)
#undef VKT_FRAME_STATUS_TEXT
  }
  return "unknown frame status";
}

// Layout: magic 0..3, version 4, flags 5, type 6..7, payload length 8..11,
// sequence 12..15, all little-endian.
void encodeFrameHeader(const FrameHeader& header, uint8_t out[kFrameHeaderSize]) {
  storeLe32(out, kFrameMagic);
  out[4] = kFrameVersion;
  out[5] = header.flags;
  storeLe16(out + 6, header.type);
  storeLe32(out + 8, header.payloadLength);
  storeLe32(out + 12, header.sequence);
}

FrameStatus decodeFrameHeader(const uint8_t* bytes, size_t size, FrameHeader& out) {
  if (bytes == nullptr || size < kFrameHeaderSize) return FrameStatus::Truncated;
  if (loadLe32(bytes) != kFrameMagic) return FrameStatus::BadMagic;
  if (bytes[4] != kFrameVersion) return FrameStatus::BadVersion;
  if ((bytes[5] & ~kKnownFlags) != 0) return FrameStatus::BadFlags;
  const uint32_t length = loadLe32(bytes + 8);
  if (length > kMaxPayload) return FrameStatus::PayloadTooLarge;
  out.flags = bytes[5];
  out.type = loadLe16(bytes + 6);
  out.payloadLength = length;
  out.sequence = loadLe32(bytes + 12);
  return FrameStatus::Ok;
}

}  // namespace vkt::wire
