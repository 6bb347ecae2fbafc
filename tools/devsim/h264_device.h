// Kind 5200: answers the init packet with readiness (85), the login with a
// full answer, and once logged in sends the device time (83) every second.
// Stream start (82) starts the video stream (h264_stream.h) on the pump
// thread, about 25 blocks a second; stream stop (84) ends it.
#pragma once
#include "simulated_device.h"

namespace vkt::devsim {

class H264Device : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;
  ~H264Device() override;

 protected:
  void onPacket(const ReceivedFrame& frame) override;
  void onTick() override;

 private:
  void startStream();

  bool loggedIn_ = false;
};

}  // namespace vkt::devsim
