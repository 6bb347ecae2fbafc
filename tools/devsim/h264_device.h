// Kind 5200: answers the init packet with readiness (85), the login with a
// full answer, and once logged in sends the device time (83) every second.
// Stream start (82) starts the video stream on the pump thread, the
// encoded test pattern (h264_stream.h) or a file's pictures
// (h264_file_stream.h), at the configured rate (25 blocks a second by
// default); stream stop (84) ends it.
#pragma once
#include <memory>

#include "simulated_device.h"

namespace vkt::devsim {

class StreamSource;

class H264Device : public SimulatedDevice {
 public:
  using SimulatedDevice::SimulatedDevice;
  ~H264Device() override;

 protected:
  void onPacket(const ReceivedFrame& frame) override;
  void onTick() override;

 private:
  void startStream();
  std::shared_ptr<StreamSource> openSource() const;

  bool loggedIn_ = false;
};

}  // namespace vkt::devsim
