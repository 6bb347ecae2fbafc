// Kind 7100: no init or readiness; answers the login with the configured
// channel count and takes picture requests (channel masks), which is where
// the JPEG pictures plug in.
#pragma once
#include "simulated_device.h"

namespace vkt::devsim {

class JpegDevice : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;

 protected:
  void onPacket(const ReceivedFrame& frame) override;

 private:
  bool loggedIn_ = false;
  uint64_t pictureRequests_ = 0;
};

}  // namespace vkt::devsim
