// Whole-buffer socket sends and receives over Winsock 2, with the same
// contract as the POSIX version: descriptors are the SOCKET values
// (socket_value_win32.h), select() stands in for poll(), and the wake pipe is
// a loopback UDP socket connected to itself, readable once a datagram sits
// in it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

#include "socket_io.h"
#include "socket_value_win32.h"

namespace vkt::wire {

namespace {

// Every library linking this code starts Winsock for itself, once; the
// counts are the system's and end with the process.
bool startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

int sendSome(int socket, const uint8_t* bytes, size_t size) {
  return ::send(nativeSocket(socket), reinterpret_cast<const char*>(bytes), static_cast<int>(std::min<size_t>(size, INT_MAX)),
                0);
}

}  // namespace

IoResult sendAll(int socket, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const int sent = sendSome(socket, bytes, size);
    if (sent == SOCKET_ERROR) return IoResult::Failed;
    bytes += sent;
    size -= static_cast<size_t>(sent);
  }
  return IoResult::Ok;
}

IoResult sendFrame(int socket, const FrameHeader& header, const void* payload) {
  uint8_t head[kFrameHeaderSize];
  encodeFrameHeader(header, head);
  WSABUF parts[2] = {{sizeof head, reinterpret_cast<char*>(head)},
                     {header.payloadLength, static_cast<char*>(const_cast<void*>(payload))}};
  DWORD sent = 0;
  if (WSASend(nativeSocket(socket), parts, header.payloadLength > 0 ? 2 : 1, &sent, 0, nullptr, nullptr) != 0)
    return IoResult::Failed;
  return finishFrame(socket, head, header, payload, sent);
}

static IoResult waitReadable(int socket, int wakeFd) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(nativeSocket(socket), &readable);
  FD_SET(nativeSocket(wakeFd), &readable);
  if (::select(0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR) return IoResult::Failed;
  if (FD_ISSET(nativeSocket(wakeFd), &readable)) return IoResult::Stopped;
  return IoResult::Ok;  // data, end of stream or error: recv() tells which
}

IoResult recvExact(int socket, void* data, size_t size, int wakeFd) {
  auto* bytes = static_cast<uint8_t*>(data);
  while (size > 0) {
    if (wakeFd >= 0) {
      const IoResult ready = waitReadable(socket, wakeFd);
      if (ready != IoResult::Ok) return ready;
    }
    const int got = ::recv(nativeSocket(socket), reinterpret_cast<char*>(bytes),
                           static_cast<int>(std::min<size_t>(size, INT_MAX)), 0);
    if (got == 0) return IoResult::Closed;
    if (got == SOCKET_ERROR) {
      if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
      return IoResult::Failed;
    }
    bytes += got;
    size -= static_cast<size_t>(got);
  }
  return IoResult::Ok;
}

void shutdownSocket(int socket) { ::shutdown(nativeSocket(socket), SD_BOTH); }

void closeSocket(int socket) { ::closesocket(nativeSocket(socket)); }

// One socket serves as both ends: it is bound to a loopback port and
// connected to that same port, so what signal() sends, it receives.
WakePipe::WakePipe() {
  if (!startWinsock()) return;
  const SOCKET own = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (own == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  u_long nonBlocking = 1;
  if (::bind(own, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(own, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::connect(own, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::ioctlsocket(own, FIONBIO, &nonBlocking) != 0) {
    ::closesocket(own);
    return;
  }
  readFd_ = static_cast<int>(own);
}

WakePipe::~WakePipe() {
  if (readFd_ >= 0) ::closesocket(nativeSocket(readFd_));
}

void WakePipe::signal() {
  const char one = 1;
  // A full buffer (WSAEWOULDBLOCK) is already readable, which is all a
  // signal means.
  ::send(nativeSocket(readFd_), &one, 1, 0);
}

void WakePipe::reset() {
  char sink[64];
  while (::recv(nativeSocket(readFd_), sink, sizeof sink, 0) > 0) {
  }
}

}  // namespace vkt::wire
