// Dialling on POSIX: non-blocking connect with a stop descriptor; the
// name lookup before it can be abandoned the same way.
#include "endpoint.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "name_lookup.h"

namespace vkt::transport {

using Clock = std::chrono::steady_clock;

static int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// One address: a non-blocking connect awaited in poll() beside the wake pipe.
static DialResult connectOne(const addrinfo& address, int wakeFd, Clock::time_point deadline, int& socketOut,
                             std::string& failure) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) {
    failure = std::strerror(errno);
    return DialResult::Failed;
  }
  int error = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      failure = std::strerror(errno);
      ::close(fd);
      return DialResult::Failed;
    }
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
    int ready;
    do {
      ready = ::poll(fds, 2, millisecondsLeft(deadline));
    } while (ready < 0 && errno == EINTR);
    if (fds[1].revents != 0) {
      ::close(fd);
      return DialResult::Stopped;
    }
    if (ready <= 0) {
      failure = ready == 0 ? "timed out" : std::strerror(errno);
      ::close(fd);
      return DialResult::Failed;
    }
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  }
  if (error != 0) {
    failure = std::strerror(error);
    ::close(fd);
    return DialResult::Failed;
  }
  // Blocking from here on: the reader waits in poll() anyway, and sends
  // give up after a bounded time instead of spinning.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const timeval sendTimeout{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  socketOut = fd;
  return DialResult::Connected;
}

DialResult dial(const Endpoint& endpoint, int wakeFd, std::chrono::milliseconds timeout, int& socket,
                std::string& failure) {
  const auto deadline = Clock::now() + timeout;
  addrinfo* addresses = nullptr;
  switch (lookUpHost(endpoint.host, endpoint.port, wakeFd, deadline, addresses, failure)) {
    case LookupResult::Found:
      break;
    case LookupResult::Stopped:
      return DialResult::Stopped;
    case LookupResult::Failed:
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
