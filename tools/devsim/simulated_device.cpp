// Session loop, faults and test services shared by the simulated kinds.
#include "simulated_device.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "device_clock.h"
#include "wire/frame.h"

namespace vkt::devsim {

SimulatedDevice::~SimulatedDevice() {
  stopPump();
  if (packetLog_) std::fclose(packetLog_);
}

// One line per packet, written whole and flushed, so a test reading the
// file sees complete lines from every connection in the order they came.
void SimulatedDevice::logPacket(const ReceivedFrame& frame) {
  if (options_.packetLog.empty()) return;
  if (!packetLog_) packetLog_ = std::fopen(options_.packetLog.c_str(), "a");
  if (!packetLog_) return;
  std::string line = std::to_string(frame.header.type) + " ";
  static const char kHex[] = "0123456789abcdef";
  for (uint8_t byte : frame.payload) {
    line += kHex[byte >> 4];
    line += kHex[byte & 15];
  }
  line += '\n';
  std::fputs(line.c_str(), packetLog_);
  std::fflush(packetLog_);
}

void SimulatedDevice::serve() {
  if (options_.stall) {
    drainUntilClosed();
    return;
  }
  sendBrokenFrames();
  if (options_.floodBytes > 0) {
    auto block = std::make_shared<std::vector<uint8_t>>(options_.floodBytes);
    startPump([this, block, index = uint32_t{0}]() mutable {
      wire::fillTestPattern(index++, block->data(), block->size());
      return link_.sendData(wire::kDataTest, block->data(), static_cast<uint32_t>(block->size()));
    });
  }
  using Clock = std::chrono::steady_clock;
  auto nextTick = Clock::now() + std::chrono::seconds(1);
  ReceivedFrame frame;
  for (;;) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count();
    bool timedOut = false;
    if (!link_.receive(frame, wait > 0 ? static_cast<int>(wait) : 0, timedOut)) break;
    if (timedOut) {
      onTick();
      nextTick += std::chrono::seconds(1);
      continue;
    }
    logPacket(frame);
    if (options_.echoData && serveTestPacket(frame)) continue;
    onPacket(frame);
  }
  link_.close();
  stopPump();
}

// --oversize and --bad-magic: one broken header right after the accept;
// the connection then stays open, so a client that closes does so
// because of the header and not because the device left.
void SimulatedDevice::sendBrokenFrames() {
  uint8_t header[wire::kFrameHeaderSize];
  wire::FrameHeader fields;
  fields.type = wire::kDataTest;
  fields.flags = wire::kFlagData;
  if (options_.oversize) {
    fields.payloadLength = wire::kMaxPayload + 1;
    wire::encodeFrameHeader(fields, header);
    link_.sendRaw(header, sizeof header);
  }
  if (options_.badMagic) {
    wire::encodeFrameHeader(fields, header);
    header[0] ^= 0xFF;
    link_.sendRaw(header, sizeof header);
  }
}

// --echo-data: a size list (uint32 each) comes back as test-pattern data
// blocks of those sizes, numbered on across requests; a payload packet
// comes back as one data block with the same bytes.
bool SimulatedDevice::serveTestPacket(const ReceivedFrame& frame) {
  if (frame.header.type == wire::kPacketEchoPayload) {
    link_.sendData(wire::kDataTest, frame.payload.data(), static_cast<uint32_t>(frame.payload.size()));
    return true;
  }
  if (frame.header.type != wire::kPacketEchoRequest) return false;
  std::vector<uint8_t> block;
  for (size_t at = 0; at + 4 <= frame.payload.size(); at += 4) {
    const uint32_t size = wire::loadLe32(frame.payload.data() + at);
    if (size > wire::kMaxPayload) {
      std::fprintf(stderr, "devsim: echo size %u over the limit, skipped\n", size);
      continue;
    }
    block.resize(size);
    wire::fillTestPattern(nextTestBlock_++, block.data(), size);
    if (!link_.sendData(wire::kDataTest, block.data(), size)) break;
  }
  return true;
}

void SimulatedDevice::drainUntilClosed() {
  uint8_t sink[4096];
  while (::recv(link_.socket(), sink, sizeof sink, 0) > 0) {
  }
}

bool SimulatedDevice::answerLogin(const ReceivedFrame& frame, int32_t expectedLoginMode, uint8_t channelCount) {
  wire::LoginRequestFields request;
  const bool readable = wire::decodeLoginRequest(frame.payload.data(), frame.payload.size(), request);
  const bool matches = readable && request.userName == options_.user && request.password == options_.password;
  const bool otherKind = readable && request.loginMode != expectedLoginMode;
  if (otherKind)
    std::fprintf(stderr, "devsim: login mode %d, expected %d: a client of the other kind\n", request.loginMode,
                 expectedLoginMode);

  wire::LoginAnswerFields answer;
  answer.answerCode = options_.refuseLoginCode ? *options_.refuseLoginCode
                      : otherKind              ? wire::kAnswerWrongKind
                      : matches                ? wire::kAnswerAccepted
                                               : wire::kAnswerBadCredentials;
  answer.deviceInfo[0] = kDeviceInfo[0];
  answer.deviceInfo[1] = kDeviceInfo[1];
  answer.deviceInfo[2] = kDeviceInfo[2];
  answer.channelCount = channelCount;
  answer.dateTime1 = deviceStartTime();
  answer.dateTime2 = localDeviceTime();
  uint8_t payload[wire::kLoginAnswerSize];
  wire::encodeLoginAnswer(answer, payload);
  // --first-answer-delay: the first answer of the whole process comes late
  // (after the client's wait); later connections are answered at once.
  static std::atomic<bool> firstAnswerGiven{false};
  if (options_.firstAnswerDelayMs > 0 && !firstAnswerGiven.exchange(true))
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.firstAnswerDelayMs));
  std::fprintf(stderr, "devsim: login of '%s': answer %d\n", readable ? request.userName.c_str() : "(unreadable)",
               answer.answerCode);
  link_.sendPacket(wire::kPacketLogin, payload, sizeof payload);
  // --extra-answer: a second answer the client never asked for.
  if (options_.extraAnswer) {
    const int32_t given = answer.answerCode;
    answer.answerCode = *options_.extraAnswer;
    wire::encodeLoginAnswer(answer, payload);
    std::fprintf(stderr, "devsim: extra login answer %d\n", answer.answerCode);
    link_.sendPacket(wire::kPacketLogin, payload, sizeof payload);
    answer.answerCode = given;
  }
  return answer.answerCode == wire::kAnswerAccepted;
}

void SimulatedDevice::refuseOtherKind() {
  wire::LoginAnswerFields answer;
  answer.answerCode = wire::kAnswerWrongKind;
  uint8_t payload[wire::kLoginAnswerSize];
  wire::encodeLoginAnswer(answer, payload);
  std::fprintf(stderr, "devsim: a packet of the other device kind, refused\n");
  link_.sendPacket(wire::kPacketLogin, payload, sizeof payload);
}

void SimulatedDevice::startPump(std::function<bool()> step) {
  stopPump();
  pumpStop_.store(false);
  pump_ = std::thread([this, step = std::move(step)] {
    while (!pumpStop_.load() && !link_.closed() && step()) {
    }
  });
}

void SimulatedDevice::stopPump() {
  pumpStop_.store(true);
  if (pump_.joinable()) pump_.join();
}

}  // namespace vkt::devsim
