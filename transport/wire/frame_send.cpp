// The part of sending a frame that is the same on every system: finishing
// what the first gathered send did not take.
#include "socket_io.h"

namespace vkt::wire {

IoResult finishFrame(int socket, const uint8_t* head, const FrameHeader& header, const void* payload, size_t done) {
  if (done < kFrameHeaderSize) {
    if (sendAll(socket, head + done, kFrameHeaderSize - done) != IoResult::Ok) return IoResult::Failed;
    done = kFrameHeaderSize;
  }
  const size_t payloadDone = done - kFrameHeaderSize;
  if (payloadDone < header.payloadLength)
    return sendAll(socket, static_cast<const uint8_t*>(payload) + payloadDone, header.payloadLength - payloadDone);
  return IoResult::Ok;
}

}  // namespace vkt::wire
