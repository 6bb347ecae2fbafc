// Frame I/O of one simulated device connection.
#include "client_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "wire/socket_io.h"

namespace vkt::devsim {

ClientLink::ClientLink(int socket, std::optional<uint64_t> dropAfter) : socket_(socket), dropAfter_(dropAfter) {}

ClientLink::~ClientLink() { ::close(socket_); }

bool ClientLink::sendPacket(uint16_t type, const void* payload, uint32_t length) {
  return sendFrame(type, 0, payload, length);
}

bool ClientLink::sendData(uint16_t type, const void* payload, uint32_t length) {
  return sendFrame(type, wire::kFlagData, payload, length);
}

bool ClientLink::sendFrame(uint16_t type, uint8_t flags, const void* payload, uint32_t length) {
  std::lock_guard lock(sendMutex_);
  if (closed_.load()) return false;
  wire::FrameHeader header;
  header.type = type;
  header.flags = flags;
  header.payloadLength = length;
  header.sequence = sendSequence_++;
  if (wire::sendFrame(socket_, header, payload) != wire::IoResult::Ok) {
    close();
    return false;
  }
  countSent();
  return true;
}

bool ClientLink::sendRaw(const void* bytes, size_t length) {
  std::lock_guard lock(sendMutex_);
  if (closed_.load()) return false;
  if (wire::sendAll(socket_, bytes, length) != wire::IoResult::Ok) {
    close();
    return false;
  }
  countSent();
  return true;
}

void ClientLink::countSent() {
  ++framesSent_;
  if (dropAfter_ && framesSent_ >= *dropAfter_) {
    std::fprintf(stderr, "devsim: dropping the connection after %llu frames\n",
                 static_cast<unsigned long long>(framesSent_));
    close();
  }
}

bool ClientLink::receive(ReceivedFrame& frame, int timeoutMs, bool& timedOut) {
  timedOut = false;
  pollfd readable{socket_, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&readable, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return false;
  if (ready == 0) {
    timedOut = true;
    return true;
  }
  uint8_t raw[wire::kFrameHeaderSize];
  if (wire::recvExact(socket_, raw, sizeof raw, -1) != wire::IoResult::Ok) return false;
  wire::FrameStatus status = wire::decodeFrameHeader(raw, sizeof raw, frame.header);
  if (status == wire::FrameStatus::Ok) status = receiveSequence_.accept(frame.header);
  if (status != wire::FrameStatus::Ok) {
    std::fprintf(stderr, "devsim: bad frame from the client: %s\n", wire::frameStatusText(status));
    return false;
  }
  frame.payload.resize(frame.header.payloadLength);
  return wire::recvExact(socket_, frame.payload.data(), frame.payload.size(), -1) == wire::IoResult::Ok;
}

void ClientLink::close() {
  if (!closed_.exchange(true)) ::shutdown(socket_, SHUT_RDWR);
}

}  // namespace vkt::devsim
