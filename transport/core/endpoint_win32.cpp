// Dialling over Winsock 2: resolution with getaddrinfo, then a non-blocking
// connect awaited in select() beside the wake socket, each address in turn.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "endpoint.h"
#include "wire/socket_value_win32.h"

namespace vkt::transport {

namespace {

using Clock = std::chrono::steady_clock;

long millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<long>(left) : 0;
}

std::string winsockError(int code) { return "Winsock error " + std::to_string(code); }

DialResult connectOne(const addrinfo& address, int wakeFd, Clock::time_point deadline, int& socketOut,
                      std::string& failure) {
  const SOCKET fd = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (fd == INVALID_SOCKET) {
    failure = winsockError(WSAGetLastError());
    return DialResult::Failed;
  }
  u_long mode = 1;
  ::ioctlsocket(fd, FIONBIO, &mode);
  int error = 0;
  if (::connect(fd, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
      failure = winsockError(WSAGetLastError());
      ::closesocket(fd);
      return DialResult::Failed;
    }
    fd_set writable, failed, wake;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_ZERO(&wake);
    FD_SET(fd, &writable);
    FD_SET(fd, &failed);
    FD_SET(wire::nativeSocket(wakeFd), &wake);
    const long left = millisecondsLeft(deadline);
    timeval timeout{left / 1000, (left % 1000) * 1000};
    const int ready = ::select(0, &wake, &writable, &failed, &timeout);
    if (ready > 0 && FD_ISSET(wire::nativeSocket(wakeFd), &wake)) {
      ::closesocket(fd);
      return DialResult::Stopped;
    }
    if (ready <= 0) {
      failure = ready == 0 ? "timed out" : winsockError(WSAGetLastError());
      ::closesocket(fd);
      return DialResult::Failed;
    }
    int length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      error = WSAGetLastError();
    if (error == 0 && !FD_ISSET(fd, &writable)) error = WSAECONNREFUSED;
  }
  if (error != 0) {
    failure = winsockError(error);
    ::closesocket(fd);
    return DialResult::Failed;
  }
  // Blocking from here on, as on POSIX; sends give up after a bounded time.
  mode = 0;
  ::ioctlsocket(fd, FIONBIO, &mode);
  const BOOL on = TRUE;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  const DWORD sendTimeoutMs = 5000;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeoutMs), sizeof sendTimeoutMs);
  socketOut = static_cast<int>(fd);
  return DialResult::Connected;
}

}  // namespace

DialResult dial(const Endpoint& endpoint, int wakeFd, std::chrono::milliseconds timeout, int& socket,
                std::string& failure) {
  const auto deadline = Clock::now() + timeout;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(endpoint.port);
  const int resolved = ::getaddrinfo(endpoint.host.c_str(), service.c_str(), &hints, &addresses);
  if (resolved != 0) {
    failure = winsockError(resolved);
    return DialResult::Failed;
  }
  DialResult result = DialResult::Failed;
  for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
    result = connectOne(*address, wakeFd, deadline, socket, failure);
    if (result != DialResult::Failed || millisecondsLeft(deadline) == 0) break;
  }
  ::freeaddrinfo(addresses);
  return result;
}

}  // namespace vkt::transport
