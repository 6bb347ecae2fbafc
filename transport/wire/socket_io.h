// Blocking stream-socket I/O shared by the transports and the device
// simulator: whole-buffer sends that survive partial writes and signals,
// whole-buffer receives that a second descriptor (a wake pipe) can abort,
// and whole frames built on both.
#pragma once
#include <cstddef>
#include <cstdint>

#include "frame.h"

namespace vkt::wire {

enum class IoResult {
  Ok,
  Closed,   // orderly end of stream from the peer
  Failed,   // socket error, reset or send timeout
  Stopped,  // the wake descriptor became readable
};

// Sends every byte (MSG_NOSIGNAL: a dead peer is an error, not SIGPIPE).
IoResult sendAll(int socket, const void* data, size_t size);

// Sends header and payload as one frame, in one system call when possible.
IoResult sendFrame(int socket, const FrameHeader& header, const void* payload);

// Sends what a first gathered send of header and payload left over, after
// `done` bytes went out: shared by both systems' sendFrame.
IoResult finishFrame(int socket, const uint8_t* head, const FrameHeader& header, const void* payload, size_t done);

// Receives exactly `size` bytes. With wakeFd >= 0, waits in poll() on both
// descriptors and returns Stopped as soon as wakeFd is readable.
IoResult recvExact(int socket, void* data, size_t size, int wakeFd);

// Ends both directions (a blocked send() or recv() returns), and releases
// the socket; the two steps that differ between POSIX and Winsock.
void shutdownSocket(int socket);
void closeSocket(int socket);

// A pipe whose read end becomes readable, for good, once signal() is called:
// the stop signal of threads that wait in poll().
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  bool valid() const { return readFd_ >= 0; }
  int readFd() const { return readFd_; }
  void signal();
  // Drains the pipe so that it can serve another run.
  void reset();

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
};

}  // namespace vkt::wire
