// Packet handling of the simulated kind-5200 device.
#include "h264_device.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "device_clock.h"
#include "h264_file_stream.h"
#include "h264_stream.h"

namespace vkt::devsim {

void H264Device::onPacket(const ReceivedFrame& frame) {
  switch (frame.header.type) {
    case wire::kPacketInit:
      if (!options_.noReady) link_.sendPacket(wire::kPacketReady, nullptr, 0);
      if (!options_.noReady && options_.readyTwice) link_.sendPacket(wire::kPacketReady, nullptr, 0);
      break;
    case wire::kPacketLogin:
      loggedIn_ = answerLogin(frame, 1, static_cast<uint8_t>(options_.channels));
      break;
    case wire::kPacketStreamStart:
      startStream();
      break;
    case wire::kPacketStreamStop:
      stopPump();
      std::fprintf(stderr, "devsim: stream stopped\n");
      break;
    case wire::kPacketLoginDone:
    case wire::kPacketControl:
      std::fprintf(stderr, "devsim: packet %u (%zu bytes)\n", frame.header.type, frame.payload.size());
      break;
    default:
      std::fprintf(stderr, "devsim: unknown packet type %u ignored\n", frame.header.type);
      break;
  }
}

H264Device::~H264Device() { stopPump(); }

// Each start is a new stream: a new encoder, or the file from its first
// key picture, so it opens with a key frame behind a header.
std::shared_ptr<StreamSource> H264Device::openSource() const {
  if (options_.content && !options_.content->h264Pictures.empty())
    return std::make_shared<H264FileStream>(*options_.content, options_.fps);
  auto encoder = std::make_shared<H264StreamEncoder>();
  if (!encoder->open(options_.keyInterval)) return nullptr;
  return encoder;
}

void H264Device::startStream() {
  std::shared_ptr<StreamSource> encoder = openSource();
  if (!encoder) {
    std::fprintf(stderr, "devsim: no H.264 encoder, no stream\n");
    return;
  }
  std::fprintf(stderr, "devsim: stream started\n");
  using Clock = std::chrono::steady_clock;
  const bool corrupt = options_.corruptBoxes;
  const bool badBoxAfter = options_.badBoxAfterPictures;
  const auto period = std::chrono::microseconds(1000000 / options_.fps);
  startPump([this, encoder, corrupt, badBoxAfter, period, block = std::vector<uint8_t>(), next = Clock::now(),
             variant = uint32_t{0}]() mutable {
    if (!encoder->nextBlock(block)) return false;
    // Every fourth frame without a header gets a spoilt box.
    if (corrupt && encoder->framesEncoded() % 4 == 0) corruptBlock(block, variant++);
    if (badBoxAfter) appendMalformedBox(block);
    if (!link_.sendData(wire::kDataStream, block.data(), static_cast<uint32_t>(block.size()))) return false;
    pictureLog_.record(0);
    next += period;
    std::this_thread::sleep_until(next);
    return true;
  });
}

void H264Device::onTick() {
  if (!loggedIn_) return;
  uint8_t notice[wire::kDeviceTimeNoticeSize];
  wire::encodeDeviceTimeNotice(localDeviceTime(), notice);
  link_.sendPacket(wire::kPacketDeviceTime, notice, sizeof notice);
}

}  // namespace vkt::devsim
