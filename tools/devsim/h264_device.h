// Kind 5200: answers the init packet with readiness (85), the login with a
// full answer, and once logged in sends the device time (83) every second.
// The stream start and stop packets (82, 84) are where the video stream
// plugs in.
#pragma once
#include "simulated_device.h"

namespace vkt::devsim {

class H264Device : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;

 protected:
  void onPacket(const ReceivedFrame& frame) override;
  void onTick() override;

 private:
  bool loggedIn_ = false;
};

}  // namespace vkt::devsim
