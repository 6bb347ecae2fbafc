// The frame that carries every packet between a client and a device: a
// 16-byte little-endian header (magic, version, flags, type, payload length,
// sequence) followed by the payload. One codec for both ends, so the client
// transports and the device simulator can never disagree on the layout.
// docs/protocol.md describes the fields; this file is the code of record.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vkt::wire {

inline constexpr size_t kFrameHeaderSize = 16;
inline constexpr uint32_t kFrameMagic = 0x50544B56;  // bytes "VKTP" on the wire
inline constexpr uint8_t kFrameVersion = 1;
// Payloads beyond this are refused by senders and close the connection at
// the receiver: it bounds what a peer can make us allocate for one frame.
inline constexpr uint32_t kMaxPayload = 8u * 1024u * 1024u;

// Flag bits. A data frame is delivered as a data block (stream data, JPEG
// pictures); a frame without the flag is a packet (notification).
inline constexpr uint8_t kFlagData = 0x01;
inline constexpr uint8_t kKnownFlags = kFlagData;

struct FrameHeader {
  uint16_t type = 0;
  uint8_t flags = 0;
  uint32_t payloadLength = 0;
  uint32_t sequence = 0;  // per direction, starting at 0 with each connection
};

#define VKT_FRAME_STATUS_LIST(X)                               \
  X(Ok, "frame header is valid")                               \
  X(Truncated, "fewer than 16 header bytes")                   \
  X(BadMagic, "frame magic is not VKTP")                       \
  X(BadVersion, "unsupported frame version")                   \
  X(BadFlags, "unknown frame flag bits")                       \
  X(PayloadTooLarge, "payload length over the 8 MiB limit")    \
  X(BadSequence, "frame sequence number out of order")

enum class FrameStatus {
#define VKT_FRAME_STATUS_ENUM(name, text) name,
  VKT_FRAME_STATUS_LIST(VKT_FRAME_STATUS_ENUM)
#undef VKT_FRAME_STATUS_ENUM
};

const char* frameStatusText(FrameStatus status);

// Writes the 16 header bytes.
void encodeFrameHeader(const FrameHeader& header, uint8_t out[kFrameHeaderSize]);

// Reads and checks a header from `size` bytes. Sequence order is the
// receiver's business (FrameSequenceCheck), not the codec's.
FrameStatus decodeFrameHeader(const uint8_t* bytes, size_t size, FrameHeader& out);

// Counts frames in one direction; a frame out of order means the stream is
// corrupt (lost or duplicated bytes), so the connection must go.
class FrameSequenceCheck {
 public:
  FrameStatus accept(const FrameHeader& header) {
    if (header.sequence != next_) return FrameStatus::BadSequence;
    ++next_;
    return FrameStatus::Ok;
  }

 private:
  uint32_t next_ = 0;
};

// Little-endian field access used by the frame and packet codecs.
inline uint16_t loadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void storeLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace vkt::wire
