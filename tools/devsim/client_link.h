// The simulator's end of one client connection: frames out (numbered,
// one at a time from any thread, counted for --drop-after) and frames in
// (checked like the client checks ours).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "wire/frame.h"

namespace vkt::devsim {

struct ReceivedFrame {
  wire::FrameHeader header;
  std::vector<uint8_t> payload;
};

class ClientLink {
 public:
  ClientLink(int socket, std::optional<uint64_t> dropAfter);
  ~ClientLink();
  ClientLink(const ClientLink&) = delete;
  ClientLink& operator=(const ClientLink&) = delete;

  int socket() const { return socket_; }

  // False once the link is closed or the send failed.
  bool sendPacket(uint16_t type, const void* payload, uint32_t length);
  bool sendData(uint16_t type, const void* payload, uint32_t length);
  // Sends raw bytes as they are (broken frames for fault tests).
  bool sendRaw(const void* bytes, size_t length);

  // Waits up to timeoutMs (-1: forever) for the next frame. Returns false
  // when the client is gone or sent a bad frame; `timedOut` when no frame
  // started in time.
  bool receive(ReceivedFrame& frame, int timeoutMs, bool& timedOut);

  // Shuts the connection down both ways; other threads' sends fail.
  void close();
  bool closed() const { return closed_.load(); }

 private:
  bool sendFrame(uint16_t type, uint8_t flags, const void* payload, uint32_t length);
  void countSent();

  const int socket_;
  const std::optional<uint64_t> dropAfter_;
  std::mutex sendMutex_;
  uint32_t sendSequence_ = 0;
  uint64_t framesSent_ = 0;
  wire::FrameSequenceCheck receiveSequence_;
  std::atomic<bool> closed_{false};
};

}  // namespace vkt::devsim
