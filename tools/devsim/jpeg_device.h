// Kind 7100: no init or readiness; answers the login with the configured
// channel count and every picture request with one JPEG picture per
// requested channel that the device has (see channel_picture.h), or one of
// the --pictures files; with --unrequested it also pushes pictures unasked.
#pragma once
#include <cstdio>
#include <vector>

#include "simulated_device.h"

namespace vkt::devsim {

class JpegDevice : public SimulatedDevice {
 public:
  JpegDevice(ClientLink& link, const SimulatorOptions& options);
  ~JpegDevice() override;

 protected:
  void onPacket(const ReceivedFrame& frame) override;

 private:
  void sendPictures(uint32_t mask);
  void pushUnrequestedPictures();
  std::vector<uint8_t> channelPicture(unsigned channel, uint32_t frame) const;
  unsigned servedChannels() const;
  void logRequest(uint32_t mask);

  bool loggedIn_ = false;
  uint64_t pictureRequests_ = 0;
  uint32_t framesSent_[16] = {};
  FILE* requestLog_ = nullptr;  // --request-log: one line per request
};

}  // namespace vkt::devsim
