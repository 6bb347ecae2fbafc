// Frame header codec and packet payload layouts: byte positions, limits
// and the refusal of malformed or truncated input; and the debug lines'
// length limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "core/endpoint.h"
#include "tests/common/connect_record.h"
#include "tests/common/debug_line_capture.h"
#include "wire/device_packets.h"
#include "wire/frame.h"

using namespace vkt::wire;

namespace {

std::vector<uint8_t> encoded(const FrameHeader& header) {
  std::vector<uint8_t> bytes(kFrameHeaderSize);
  encodeFrameHeader(header, bytes.data());
  return bytes;
}

TEST(FrameHeader, EncodesLittleEndianFieldsAtTheirOffsets) {
  FrameHeader header;
  header.type = 0x0152;
  header.flags = kFlagData;
  header.payloadLength = 0x00030201;
  header.sequence = 0x0A0B0C0D;
  const std::vector<uint8_t> expected = {'V', 'K', 'T', 'P', 1, 1, 0x52, 0x01,
                                         0x01, 0x02, 0x03, 0x00, 0x0D, 0x0C, 0x0B, 0x0A};
  EXPECT_EQ(encoded(header), expected);

  FrameHeader decoded;
  ASSERT_EQ(decodeFrameHeader(expected.data(), expected.size(), decoded), FrameStatus::Ok);
  EXPECT_EQ(decoded.type, header.type);
  EXPECT_EQ(decoded.flags, header.flags);
  EXPECT_EQ(decoded.payloadLength, header.payloadLength);
  EXPECT_EQ(decoded.sequence, header.sequence);
}

TEST(FrameHeader, RefusesTruncatedHeaders) {
  const std::vector<uint8_t> bytes = encoded(FrameHeader{});
  FrameHeader decoded;
  for (size_t size = 0; size < kFrameHeaderSize; ++size)
    EXPECT_EQ(decodeFrameHeader(bytes.data(), size, decoded), FrameStatus::Truncated) << size;
  EXPECT_EQ(decodeFrameHeader(nullptr, kFrameHeaderSize, decoded), FrameStatus::Truncated);
}

TEST(FrameHeader, PayloadLengthIsAcceptedUpToTheLimitOnly) {
  struct Case {
    uint32_t length;
    FrameStatus status;
  };
  for (const Case& c : {Case{kMaxPayload - 1, FrameStatus::Ok}, Case{kMaxPayload, FrameStatus::Ok},
                        Case{kMaxPayload + 1, FrameStatus::PayloadTooLarge},
                        Case{0xFFFFFFFFu, FrameStatus::PayloadTooLarge}}) {
    FrameHeader header;
    header.payloadLength = c.length;
    const std::vector<uint8_t> bytes = encoded(header);
    FrameHeader decoded;
    EXPECT_EQ(decodeFrameHeader(bytes.data(), bytes.size(), decoded), c.status) << c.length;
    if (c.status == FrameStatus::Ok) {
      EXPECT_EQ(decoded.payloadLength, c.length);
    }
  }
}

TEST(FrameHeader, RefusesWrongMagicVersionAndUnknownFlags) {
  FrameHeader decoded;
  std::vector<uint8_t> bytes = encoded(FrameHeader{});
  bytes[3] = 'Q';
  EXPECT_EQ(decodeFrameHeader(bytes.data(), bytes.size(), decoded), FrameStatus::BadMagic);
  bytes = encoded(FrameHeader{});
  bytes[4] = 2;
  EXPECT_EQ(decodeFrameHeader(bytes.data(), bytes.size(), decoded), FrameStatus::BadVersion);
  bytes = encoded(FrameHeader{});
  bytes[5] = 0x80;
  EXPECT_EQ(decodeFrameHeader(bytes.data(), bytes.size(), decoded), FrameStatus::BadFlags);
}

TEST(FrameSequence, AcceptsOnlyTheNextNumber) {
  FrameSequenceCheck check;
  FrameHeader header;
  EXPECT_EQ(check.accept(header), FrameStatus::Ok);
  header.sequence = 1;
  EXPECT_EQ(check.accept(header), FrameStatus::Ok);
  header.sequence = 3;  // frame 2 lost
  EXPECT_EQ(check.accept(header), FrameStatus::BadSequence);
  header.sequence = 1;  // repeated
  EXPECT_EQ(check.accept(header), FrameStatus::BadSequence);
  header.sequence = 2;
  EXPECT_EQ(check.accept(header), FrameStatus::Ok);
}

TEST(LoginRequest, FieldsMustFitWithTheirTerminator) {
  uint8_t request[kLoginRequestSize];
  LoginRequestFields fields{std::string(127, 'u'), std::string(131, 'p'), 1};
  ASSERT_TRUE(encodeLoginRequest(fields, request));
  EXPECT_EQ(request[127], 0);
  EXPECT_EQ(request[128], 'p');
  EXPECT_EQ(request[259], 0);
  EXPECT_EQ(request[260], 1);

  LoginRequestFields decoded;
  ASSERT_TRUE(decodeLoginRequest(request, sizeof request, decoded));
  EXPECT_EQ(decoded.userName, fields.userName);
  EXPECT_EQ(decoded.password, fields.password);
  EXPECT_EQ(decoded.loginMode, 1);
  EXPECT_FALSE(decodeLoginRequest(request, sizeof request - 1, decoded));

  EXPECT_FALSE(encodeLoginRequest({std::string(128, 'u'), "", 0}, request));
  EXPECT_FALSE(encodeLoginRequest({"", std::string(132, 'p'), 0}, request));

  // A peer's request whose user name fills its field without a NUL.
  std::fill_n(request, kUserNameField, 'x');
  EXPECT_FALSE(decodeLoginRequest(request, sizeof request, decoded));
}

TEST(LoginAnswer, LayoutAndShortPayloads) {
  LoginAnswerFields answer;
  answer.answerCode = 1;
  answer.deviceInfo[0] = 4;
  answer.deviceInfo[1] = 5;
  answer.deviceInfo[2] = 6;
  answer.channelCount = 16;
  answer.dateTime1 = {2009, 12, 31, 23, 59, 58};
  answer.dateTime2 = {2024, 2, 29, 0, 1, 2};
  uint8_t bytes[kLoginAnswerSize];
  encodeLoginAnswer(answer, bytes);
  const uint8_t expected[kLoginAnswerSize] = {1, 0, 0, 0, 4, 5, 6, 16, 0xD9, 0x07, 12, 31, 23, 59, 58, 0,
                                              0xE8, 0x07, 2, 29, 0, 1, 2, 0};
  EXPECT_TRUE(std::equal(bytes, bytes + kLoginAnswerSize, expected));

  LoginAnswerFields decoded;
  ASSERT_TRUE(decodeLoginAnswer(bytes, 23, decoded));
  EXPECT_EQ(decoded.channelCount, 16);
  EXPECT_EQ(decoded.dateTime1.year, 2009);
  EXPECT_EQ(decoded.dateTime1.minute, 59);
  EXPECT_EQ(decoded.dateTime1.second, 58);
  EXPECT_EQ(decoded.dateTime2.day, 29);
  EXPECT_FALSE(decodeLoginAnswer(bytes, 22, decoded));
}

TEST(DeviceTimeNotice, LayoutOfTheNotice) {
  uint8_t bytes[kDeviceTimeNoticeSize];
  encodeDeviceTimeNotice({2009, 12, 31, 23, 59, 58}, bytes);
  const uint8_t expected[kDeviceTimeNoticeSize] = {31, 12, 0xD9, 0x07, 0, 58, 59, 23};
  EXPECT_TRUE(std::equal(bytes, bytes + kDeviceTimeNoticeSize, expected));
  DeviceDateTime decoded;
  EXPECT_FALSE(decodeDeviceTimeNotice(bytes, 7, decoded));
  ASSERT_TRUE(decodeDeviceTimeNotice(bytes, 8, decoded));
  EXPECT_EQ(decoded.year, 2009);
  EXPECT_EQ(decoded.hour, 23);
}

TEST(ConnectRecord, AddressMustEndInsideItsFieldAndPortUsesLow16Bits) {
  vkt::transport::Endpoint endpoint;
  auto record = vkt::test::makeConnectRecord(std::string(259, 'h'), 0x12345);
  ASSERT_TRUE(vkt::transport::parseConnectRecord(record.data(), endpoint));
  EXPECT_EQ(endpoint.host.size(), 259u);
  EXPECT_EQ(endpoint.port, 0x2345);

  std::fill_n(record.begin(), 260, 'h');  // no NUL within the 260 bytes
  EXPECT_FALSE(vkt::transport::parseConnectRecord(record.data(), endpoint));
  EXPECT_FALSE(vkt::transport::parseConnectRecord(vkt::test::makeConnectRecord("", 80).data(), endpoint));
  EXPECT_FALSE(vkt::transport::parseConnectRecord(vkt::test::makeConnectRecord("host", 0x10000).data(), endpoint));
  EXPECT_FALSE(vkt::transport::parseConnectRecord(nullptr, endpoint));
}

TEST(TestPattern, DetectsShiftedAndSwappedBlocks) {
  std::vector<uint8_t> block(1000);
  fillTestPattern(7, block.data(), block.size());
  EXPECT_TRUE(matchesTestPattern(7, block.data(), block.size()));
  EXPECT_FALSE(matchesTestPattern(8, block.data(), block.size()));
  EXPECT_FALSE(matchesTestPattern(7, block.data() + 1, block.size() - 1));
}

// Each row is one debug line's length: a line too long for the buffer is
// cut, and every line still ends with its newline.
TEST(DebugLog, LinesEndWithTheirNewlineHoweverLong) {
  vkt::transport::setDebugOutput(true);
  const size_t longest = 512 - 2;  // the text, its newline and its terminator fill 512 bytes
  for (const size_t length : {size_t{0}, size_t{1}, longest, longest + 1, size_t{900}}) {
    SCOPED_TRACE(length);
    const std::string text(length, 'x');
    vkt::transport::debugLine("%s", text.c_str());
    EXPECT_EQ(vkt::test::LastDebugLine(), text.substr(0, std::min(length, longest)) + "\n");
  }
  vkt::transport::setDebugOutput(false);
}

}  // namespace
