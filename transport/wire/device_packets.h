// Packet types and payload layouts of the two device kinds, as carried in
// frames: the login exchange, the device-time notice, picture requests, the
// transport's init packet and the test packets of the device simulator.
// Integers are little-endian; docs/protocol.md lists who sends what.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vkt::wire {

// Packet types (frames without the data flag).
enum PacketType : uint16_t {
  kPacketLogin = 1,           // both kinds: LoginRequest to the device, LoginAnswer back
  kPacketPictureRequest = 2,  // kind 7100: 12 bytes 0, channel mask, 0
  kPacketControl = 19,        // kind 5200: 16 bytes value1, value2, 10, 5
  kPacketStreamStart = 82,    // kind 5200: 8 bytes 1, 0
  kPacketDeviceTime = 83,     // kind 5200: DeviceTimeNotice from the device
  kPacketStreamStop = 84,     // kind 5200: 4 bytes 0
  kPacketReady = 85,          // kind 5200: device ready for the login, no payload
  kPacketLoginDone = 86,      // kind 5200: no payload
  // Transport-level types live at 0xFF00 and above.
  kPacketInit = 0xFF00,         // kind 5200 client's first packet: InitPacket
  kPacketEchoRequest = 0xFF01,  // simulator test: list of data-frame sizes to send back
  kPacketEchoPayload = 0xFF02,  // simulator test: payload to send back as one data frame
};

// Types of data frames (frames with the data flag).
enum DataType : uint16_t {
  kDataPicture = 1,     // kind 7100: one JPEG picture
  kDataStream = 2,      // kind 5200: a block of the rvdx/qbox stream
  kDataTest = 0xFF01,   // simulator test blocks (echo, flood)
};

inline constexpr size_t kLoginRequestSize = 276;
inline constexpr size_t kUserNameField = 128;
inline constexpr size_t kPasswordField = 132;
inline constexpr size_t kLoginAnswerSize = 24;
inline constexpr size_t kDeviceTimeNoticeSize = 8;
inline constexpr size_t kPictureRequestSize = 12;
inline constexpr size_t kInitPacketSize = 8;
inline constexpr uint32_t kInitProtocolVersion = 1;

struct LoginRequestFields {
  std::string userName;
  std::string password;
  int32_t loginMode = 0;  // 1 from kind 5200, 0 from kind 7100
};

// Fills the 276-byte request; false when a name does not fit its field
// with its terminating NUL.
bool encodeLoginRequest(const LoginRequestFields& fields, uint8_t out[kLoginRequestSize]);
// False when the payload is short or a field lacks its NUL.
bool decodeLoginRequest(const uint8_t* payload, size_t size, LoginRequestFields& out);

struct DeviceDateTime {
  uint16_t year = 0;
  uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

inline constexpr int32_t kAnswerAccepted = 1;
inline constexpr int32_t kAnswerBadCredentials = 2;
// A login (or, for kind 5200, its init packet) from a client of the other
// device kind.
inline constexpr int32_t kAnswerWrongKind = 3;

struct LoginAnswerFields {
  int32_t answerCode = 0;
  uint8_t deviceInfo[3] = {};  // answer bytes 4, 5, 6 in this order
  uint8_t channelCount = 0;
  DeviceDateTime dateTime1;
  DeviceDateTime dateTime2;
};

void encodeLoginAnswer(const LoginAnswerFields& fields, uint8_t out[kLoginAnswerSize]);
// Reads bytes 0 to 22; false when fewer are present.
bool decodeLoginAnswer(const uint8_t* payload, size_t size, LoginAnswerFields& out);

// DeviceTimeNotice: day 0, month 1, year 2..3, second 5, minute 6, hour 7.
void encodeDeviceTimeNotice(const DeviceDateTime& time, uint8_t out[kDeviceTimeNoticeSize]);
bool decodeDeviceTimeNotice(const uint8_t* payload, size_t size, DeviceDateTime& out);

// Picture request: int32 0, uint32 channel mask, int32 0.
bool decodePictureRequest(const uint8_t* payload, size_t size, uint32_t& channelMask);

// Init packet: uint32 protocol version, uint32 largest payload the client takes.
void encodeInitPacket(uint8_t out[kInitPacketSize]);

// Content of simulator test block `index` of `size` bytes; the receiver
// recomputes it to prove that a block arrived whole and in its place.
void fillTestPattern(uint32_t index, uint8_t* data, size_t size);
bool matchesTestPattern(uint32_t index, const uint8_t* data, size_t size);

}  // namespace vkt::wire
