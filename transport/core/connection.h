// One client connection to a device: the engine behind both transport
// libraries.
//
// Threads: the caller's threads call connect/send/disconnect; one worker
// thread per connection attempt dials, then reads frames and posts them to
// the window. The worker never waits for the window thread without also
// watching the stop signal (wake pipe for the socket, FlowBudget::stop for
// the budget), so disconnect() returns promptly from any thread, the
// window's own included. After disconnect() returns nothing more is posted.
//
// Messages: connect outcome 1445 (wParam 1) or 1445 (wParam 0) + 1446;
// loss of an established connection (end of stream, socket error, bad
// frame) 1446, once, its wParam saying which; each frame as a notification or data message of the
// profile, its record released by the platform.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "endpoint.h"
#include "flow_budget.h"
#include "posted_record.h"
#include "sdk/transport_api.h"
#include "wire/socket_io.h"

namespace vkt::transport {

class Connection {
 public:
  Connection(HWND window, const TransportProfile& profile, FlowLimits limits = {});
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Starts an attempt on a new worker. False when one is still running
  // (attempt under way or connection up) or the thread cannot start.
  bool connect(const Endpoint& endpoint);

  // Sends one packet; safe from any thread. False when nothing was sent:
  // not connected, payload over the limit, or a null payload with a
  // length. A send that fails part-way leaves a corrupt stream, so it also
  // drops the connection (1446 follows).
  bool send(uint16_t type, const uint8_t* payload, uint32_t length);

  // Stops the worker and closes the socket; no message follows.
  void disconnect();

  const FlowBudget& budget() const { return *budget_; }

 private:
  // How reading ended: a stop, or the loss reported as 1446's wParam.
  enum class ReadEnd : WPARAM {
    Stopped = 0,
    ClosedByDevice = TRANSPORT_CLOSED_BY_DEVICE,
    Failed = TRANSPORT_FAILED,
    BadFrame = TRANSPORT_BAD_FRAME,
  };

  void run(Endpoint endpoint);
  bool stopRequested();
  bool adopt(int socket);
  void retire(int socket);
  ReadEnd readFrames(int socket);
  void postPlain(UINT message, WPARAM wParam);

  const HWND window_;
  const TransportProfile profile_;
  const std::shared_ptr<FlowBudget> budget_;
  wire::WakePipe wake_;

  std::mutex lifecycleMutex_;  // serialises connect and disconnect
  std::thread worker_;
  std::atomic<bool> workerRunning_{false};

  std::mutex stateMutex_;  // never held across a blocking call
  bool stopping_ = false;
  int liveSocket_ = -1;

  std::mutex sendMutex_;  // one frame at a time on the socket
  int sendSocket_ = -1;
  uint32_t sendSequence_ = 0;
};

}  // namespace vkt::transport
