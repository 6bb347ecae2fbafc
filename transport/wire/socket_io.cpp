// Whole-buffer socket sends and receives with EINTR, partial transfers and
// an optional stop descriptor handled in one place.
#include "socket_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace vkt::wire {

IoResult sendAll(int socket, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(socket, bytes, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return IoResult::Failed;
    }
    bytes += sent;
    size -= static_cast<size_t>(sent);
  }
  return IoResult::Ok;
}

IoResult sendFrame(int socket, const FrameHeader& header, const void* payload) {
  uint8_t head[kFrameHeaderSize];
  encodeFrameHeader(header, head);
  iovec parts[2] = {{head, sizeof head}, {const_cast<void*>(payload), header.payloadLength}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = header.payloadLength > 0 ? 2 : 1;
  ssize_t sent;
  do {
    sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return IoResult::Failed;
  return finishFrame(socket, head, header, payload, static_cast<size_t>(sent));
}

static IoResult waitReadable(int socket, int wakeFd) {
  pollfd fds[2] = {{socket, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return IoResult::Failed;
    }
    if (fds[1].revents != 0) return IoResult::Stopped;
    if (fds[0].revents != 0) return IoResult::Ok;  // data, EOF or error: recv() tells which
  }
}

IoResult recvExact(int socket, void* data, size_t size, int wakeFd) {
  auto* bytes = static_cast<uint8_t*>(data);
  while (size > 0) {
    if (wakeFd >= 0) {
      const IoResult ready = waitReadable(socket, wakeFd);
      if (ready != IoResult::Ok) return ready;
    }
    const ssize_t got = ::recv(socket, bytes, size, 0);
    if (got == 0) return IoResult::Closed;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return IoResult::Failed;
    }
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return IoResult::Ok;
}

void shutdownSocket(int socket) { ::shutdown(socket, SHUT_RDWR); }

void closeSocket(int socket) { ::close(socket); }

WakePipe::WakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    readFd_ = fds[0];
    writeFd_ = fds[1];
  }
}

WakePipe::~WakePipe() {
  if (readFd_ >= 0) ::close(readFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
}

void WakePipe::signal() {
  const uint8_t one = 1;
  ssize_t written;
  do {
    written = ::write(writeFd_, &one, 1);
  } while (written < 0 && errno == EINTR);
  // A full pipe (EAGAIN) is already readable, which is all a signal means.
}

void WakePipe::reset() {
  uint8_t sink[64];
  while (::read(readFd_, sink, sizeof sink) > 0) {
  }
}

}  // namespace vkt::wire
