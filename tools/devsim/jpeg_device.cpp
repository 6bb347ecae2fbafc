// Packet handling of the simulated kind-7100 device.
#include "jpeg_device.h"

#include <cstdio>

namespace vkt::devsim {

void JpegDevice::onPacket(const ReceivedFrame& frame) {
  switch (frame.header.type) {
    case wire::kPacketLogin:
      loggedIn_ = answerLogin(frame, 0, static_cast<uint8_t>(options_.channels));
      break;
    case wire::kPacketPictureRequest: {
      uint32_t mask = 0;
      if (!loggedIn_ || !wire::decodePictureRequest(frame.payload.data(), frame.payload.size(), mask)) {
        std::fprintf(stderr, "devsim: picture request refused (not logged in or short)\n");
        break;
      }
      // Only the first request is logged: they come every few milliseconds.
      if (pictureRequests_++ == 0) std::fprintf(stderr, "devsim: picture requests, mask 0x%x\n", mask);
      break;
    }
    default:
      std::fprintf(stderr, "devsim: unknown packet type %u ignored\n", frame.header.type);
      break;
  }
}

}  // namespace vkt::devsim
