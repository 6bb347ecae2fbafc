// Packet handling of the simulated kind-5200 device.
#include "h264_device.h"

#include <cstdio>

#include "device_clock.h"

namespace vkt::devsim {

void H264Device::onPacket(const ReceivedFrame& frame) {
  switch (frame.header.type) {
    case wire::kPacketInit:
      if (!options_.noReady) link_.sendPacket(wire::kPacketReady, nullptr, 0);
      break;
    case wire::kPacketLogin:
      loggedIn_ = answerLogin(frame, 1, static_cast<uint8_t>(options_.channels));
      break;
    case wire::kPacketLoginDone:
    case wire::kPacketStreamStart:
    case wire::kPacketStreamStop:
    case wire::kPacketControl:
      std::fprintf(stderr, "devsim: packet %u (%zu bytes)\n", frame.header.type, frame.payload.size());
      break;
    default:
      std::fprintf(stderr, "devsim: unknown packet type %u ignored\n", frame.header.type);
      break;
  }
}

void H264Device::onTick() {
  if (!loggedIn_) return;
  uint8_t notice[wire::kDeviceTimeNoticeSize];
  wire::encodeDeviceTimeNotice(localDeviceTime(), notice);
  link_.sendPacket(wire::kPacketDeviceTime, notice, sizeof notice);
}

}  // namespace vkt::devsim
