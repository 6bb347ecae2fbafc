// One simulated device serving one client: the connection-level faults and
// test services common to both kinds, the login answer, and the hooks a
// kind implements (packets, a one-second tick, a pump thread for pushed
// data such as pictures or the video stream).
#pragma once
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>

#include "client_link.h"
#include "options.h"
#include "picture_log.h"
#include "wire/device_packets.h"

namespace vkt::devsim {

class SimulatedDevice {
 public:
  SimulatedDevice(ClientLink& link, const SimulatorOptions& options)
      : link_(link), options_(options), pictureLog_(options.pictureLog) {}
  virtual ~SimulatedDevice();
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // Serves the client until it leaves or the link breaks.
  void serve();

 protected:
  virtual void onPacket(const ReceivedFrame& frame) = 0;
  virtual void onTick() {}

  // Checks a login request against the configured credentials and sends
  // the answer; true when the login was accepted.
  // A login of the other kind's mode gets the wrong-kind answer code.
  bool answerLogin(const ReceivedFrame& frame, int32_t expectedLoginMode, uint8_t channelCount);
  // Answers a packet only the other kind's clients send (kind 5200's init)
  // with a wrong-kind login answer, so that such a client learns at once.
  void refuseOtherKind();

  // Runs `step` on the pump thread until it returns false, the link closes
  // or stopPump() is called. One pump at a time.
  void startPump(std::function<bool()> step);
  void stopPump();

  ClientLink& link_;
  const SimulatorOptions& options_;
  PictureLog pictureLog_;

 private:
  void sendBrokenFrames();
  bool serveTestPacket(const ReceivedFrame& frame);
  void drainUntilClosed();
  void logPacket(const ReceivedFrame& frame);

  std::thread pump_;
  std::atomic<bool> pumpStop_{false};
  uint32_t nextTestBlock_ = 0;
  FILE* packetLog_ = nullptr;  // --packet-log, opened at the first packet
};

std::unique_ptr<SimulatedDevice> makeDevice(ClientLink& link, const SimulatorOptions& options);

}  // namespace vkt::devsim
