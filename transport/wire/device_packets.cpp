// Encoders and bounds-checked decoders of the device packets' payloads.
#include "device_packets.h"

#include <cstring>

#include "frame.h"

namespace vkt::wire {

static bool copyField(const std::string& text, uint8_t* field, size_t fieldSize) {
  if (text.size() >= fieldSize) return false;
  std::memcpy(field, text.data(), text.size());
  return true;
}

static bool readField(const uint8_t* field, size_t fieldSize, std::string& out) {
  const void* end = std::memchr(field, 0, fieldSize);
  if (end == nullptr) return false;
  out.assign(reinterpret_cast<const char*>(field), static_cast<const uint8_t*>(end) - field);
  return true;
}

bool encodeLoginRequest(const LoginRequestFields& fields, uint8_t out[kLoginRequestSize]) {
  std::memset(out, 0, kLoginRequestSize);
  if (!copyField(fields.userName, out, kUserNameField)) return false;
  if (!copyField(fields.password, out + kUserNameField, kPasswordField)) return false;
  storeLe32(out + 260, static_cast<uint32_t>(fields.loginMode));
  return true;
}

bool decodeLoginRequest(const uint8_t* payload, size_t size, LoginRequestFields& out) {
  if (payload == nullptr || size < kLoginRequestSize) return false;
  if (!readField(payload, kUserNameField, out.userName)) return false;
  if (!readField(payload + kUserNameField, kPasswordField, out.password)) return false;
  out.loginMode = static_cast<int32_t>(loadLe32(payload + 260));
  return true;
}

static void storeDateTime(const DeviceDateTime& time, uint8_t* out) {
  storeLe16(out, time.year);
  out[2] = time.month;
  out[3] = time.day;
  out[4] = time.hour;
  out[5] = time.minute;
  out[6] = time.second;
}

static DeviceDateTime loadDateTime(const uint8_t* in) {
  DeviceDateTime time;
  time.year = loadLe16(in);
  time.month = in[2];
  time.day = in[3];
  time.hour = in[4];
  time.minute = in[5];
  time.second = in[6];
  return time;
}

void encodeLoginAnswer(const LoginAnswerFields& fields, uint8_t out[kLoginAnswerSize]) {
  std::memset(out, 0, kLoginAnswerSize);
  storeLe32(out, static_cast<uint32_t>(fields.answerCode));
  out[4] = fields.deviceInfo[0];
  out[5] = fields.deviceInfo[1];
  out[6] = fields.deviceInfo[2];
  out[7] = fields.channelCount;
  storeDateTime(fields.dateTime1, out + 8);
  storeDateTime(fields.dateTime2, out + 16);
}

bool decodeLoginAnswer(const uint8_t* payload, size_t size, LoginAnswerFields& out) {
  if (payload == nullptr || size < 23) return false;
  out.answerCode = static_cast<int32_t>(loadLe32(payload));
  out.deviceInfo[0] = payload[4];
  out.deviceInfo[1] = payload[5];
  out.deviceInfo[2] = payload[6];
  out.channelCount = payload[7];
  out.dateTime1 = loadDateTime(payload + 8);
  out.dateTime2 = loadDateTime(payload + 16);
  return true;
}

void encodeDeviceTimeNotice(const DeviceDateTime& time, uint8_t out[kDeviceTimeNoticeSize]) {
  std::memset(out, 0, kDeviceTimeNoticeSize);
  out[0] = time.day;
  out[1] = time.month;
  storeLe16(out + 2, time.year);
  out[5] = time.second;
  out[6] = time.minute;
  out[7] = time.hour;
}

bool decodeDeviceTimeNotice(const uint8_t* payload, size_t size, DeviceDateTime& out) {
  if (payload == nullptr || size < kDeviceTimeNoticeSize) return false;
  out.day = payload[0];
  out.month = payload[1];
  out.year = loadLe16(payload + 2);
  out.second = payload[5];
  out.minute = payload[6];
  out.hour = payload[7];
  return true;
}

bool decodePictureRequest(const uint8_t* payload, size_t size, uint32_t& channelMask) {
  if (payload == nullptr || size < kPictureRequestSize) return false;
  channelMask = loadLe32(payload + 4);
  return true;
}

void encodeInitPacket(uint8_t out[kInitPacketSize]) {
  storeLe32(out, kInitProtocolVersion);
  storeLe32(out + 4, kMaxPayload);
}

// A cheap pattern that differs between neighbouring blocks and between
// offsets, so a block cut short, shifted or swapped with another shows.
static uint8_t testByte(uint32_t index, size_t offset) {
  return static_cast<uint8_t>(index * 131u + offset * 7u + (offset >> 8));
}

void fillTestPattern(uint32_t index, uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) data[i] = testByte(index, i);
}

bool matchesTestPattern(uint32_t index, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (data[i] != testByte(index, i)) return false;
  return true;
}

}  // namespace vkt::wire
