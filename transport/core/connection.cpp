// Connection lifecycle, the worker's dial-and-read loop, and sending.
#include "connection.h"

#include <system_error>

#include "debug_log.h"
#include "sdk/transport_api.h"

namespace vkt::transport {

// The sessions wait 10 s (kind 7100) and 11 s (kind 5200) by default, at
// most 60 s when the application says so, plus a 200 ms slack, for the
// outcome, and release the transport when the wait runs out. Dialling gives
// up only after the longest of those waits, so an unanswered attempt always
// ends by the session's own timeout and its code, never by a loss report
// racing it.
static constexpr std::chrono::milliseconds kConnectTimeout{65000};

Connection::Connection(HWND window, const TransportProfile& profile, FlowLimits limits)
    : window_(window), profile_(profile), budget_(std::make_shared<FlowBudget>(limits)) {}

Connection::~Connection() { disconnect(); }

bool Connection::connect(const Endpoint& endpoint) {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!wake_.valid() || workerRunning_.load()) return false;
  if (worker_.joinable()) worker_.join();  // a finished earlier attempt
  workerRunning_.store(true);
  try {
    worker_ = std::thread(&Connection::run, this, endpoint);
  } catch (const std::system_error&) {
    workerRunning_.store(false);
    return false;
  }
  return true;
}

void Connection::disconnect() {
  std::lock_guard lifecycle(lifecycleMutex_);
  if (!worker_.joinable()) return;
  {
    std::lock_guard state(stateMutex_);
    stopping_ = true;
    // Unblocks a sender stuck in send(); the reader wakes on the pipe.
    if (liveSocket_ >= 0) wire::shutdownSocket(liveSocket_);
  }
  wake_.signal();
  budget_->stop();
  worker_.join();
  // Ready for another connect().
  std::lock_guard state(stateMutex_);
  stopping_ = false;
  wake_.reset();
  budget_->resume();
}

bool Connection::send(uint16_t type, const uint8_t* payload, uint32_t length) {
  if (length > wire::kMaxPayload || (length > 0 && payload == nullptr)) return false;
  std::lock_guard sending(sendMutex_);
  if (sendSocket_ < 0) return false;
  wire::FrameHeader header;
  header.type = type;
  header.payloadLength = length;
  header.sequence = sendSequence_;
  if (wire::sendFrame(sendSocket_, header, payload) != wire::IoResult::Ok) {
    debugLine("%s: send of packet type %u failed, dropping the connection", profile_.name, type);
    wire::shutdownSocket(sendSocket_);  // the reader sees it and reports the loss
    sendSocket_ = -1;
    return false;
  }
  ++sendSequence_;
  return true;
}

void Connection::postPlain(UINT message, WPARAM wParam) {
  if (window_ != nullptr) PostMessageA(window_, message, wParam, 0);
}

// The worker counts as finished once the outcome is known, before it posts
// the final messages: a connect() that follows joins this thread before
// starting the next, so those messages still come first.
void Connection::run(Endpoint endpoint) {
  int socket = -1;
  std::string failure;
  const DialResult dialed = dial(endpoint, wake_.readFd(), kConnectTimeout, socket, failure);
  if (dialed != DialResult::Connected || !adopt(socket)) {
    workerRunning_.store(false);
    if (dialed == DialResult::Failed && !stopRequested()) {
      debugLine("%s: cannot connect to %s port %u: %s", profile_.name, endpoint.host.c_str(), endpoint.port,
                failure.c_str());
      postPlain(WM_TRANSPORT_CONNECT, 0);
      postPlain(WM_TRANSPORT_CLOSE, 0);
    }
    return;
  }
  debugLine("%s: connected to %s port %u", profile_.name, endpoint.host.c_str(), endpoint.port);
  postPlain(WM_TRANSPORT_CONNECT, 1);
  const ReadEnd end = readFrames(socket);
  retire(socket);
  workerRunning_.store(false);
  // disconnect() shuts the socket down itself; the end of stream that the
  // reader may see first is then no loss to report.
  if (end != ReadEnd::Stopped && !stopRequested()) postPlain(WM_TRANSPORT_CLOSE, static_cast<WPARAM>(end));
}

bool Connection::stopRequested() {
  std::lock_guard state(stateMutex_);
  return stopping_;
}

// Publishes the socket to disconnect() and the senders, unless a stop came
// first, in which case the socket is closed unused.
bool Connection::adopt(int socket) {
  {
    std::lock_guard state(stateMutex_);
    if (stopping_) {
      wire::closeSocket(socket);
      return false;
    }
    liveSocket_ = socket;
  }
  std::lock_guard sending(sendMutex_);
  sendSocket_ = socket;
  sendSequence_ = 0;
  return true;
}

// Withdraws the socket so that no sender or stopper can touch the number
// after close() (it may be reused at once by another open).
void Connection::retire(int socket) {
  {
    std::lock_guard state(stateMutex_);
    wire::shutdownSocket(socket);  // a sender blocked in send() returns now
    liveSocket_ = -1;
  }
  {
    std::lock_guard sending(sendMutex_);
    sendSocket_ = -1;
  }
  wire::closeSocket(socket);
}

Connection::ReadEnd Connection::readFrames(int socket) {
  wire::FrameSequenceCheck sequence;
  for (;;) {
    uint8_t raw[wire::kFrameHeaderSize];
    wire::IoResult io = wire::recvExact(socket, raw, sizeof raw, wake_.readFd());
    if (io == wire::IoResult::Stopped) return ReadEnd::Stopped;
    if (io != wire::IoResult::Ok) {
      debugLine("%s: connection %s", profile_.name, io == wire::IoResult::Closed ? "closed by the device" : "failed");
      return io == wire::IoResult::Closed ? ReadEnd::ClosedByDevice : ReadEnd::Failed;
    }
    wire::FrameHeader header;
    wire::FrameStatus status = wire::decodeFrameHeader(raw, sizeof raw, header);
    if (status == wire::FrameStatus::Ok) status = sequence.accept(header);
    if (status != wire::FrameStatus::Ok) {
      debugLine("%s: bad frame from the device (%s), closing", profile_.name, wire::frameStatusText(status));
      return ReadEnd::BadFrame;
    }
    bool stopped = false;
    PostedRecord* record = PostedRecord::reserve(budget_, header, stopped);
    if (stopped) return ReadEnd::Stopped;
    if (record == nullptr) {
      debugLine("%s: no memory for a %u-byte frame, closing", profile_.name, header.payloadLength);
      return ReadEnd::Failed;
    }
    io = wire::recvExact(socket, record->payload(), header.payloadLength, wake_.readFd());
    if (io != wire::IoResult::Ok) {
      PostedRecord::discard(record);
      if (io == wire::IoResult::Stopped) return ReadEnd::Stopped;
      debugLine("%s: connection lost inside a frame", profile_.name);
      return io == wire::IoResult::Closed ? ReadEnd::ClosedByDevice : ReadEnd::Failed;
    }
    PostedRecord::post(record, window_, profile_);
  }
}

}  // namespace vkt::transport
