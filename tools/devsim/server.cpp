// Listening, accepting and handing clients to their device threads.
#include "server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "h264_device.h"
#include "jpeg_device.h"

namespace vkt::devsim {

std::unique_ptr<SimulatedDevice> makeDevice(ClientLink& link, const SimulatorOptions& options) {
  if (options.kind == 5200) return std::make_unique<H264Device>(link, options);
  return std::make_unique<JpegDevice>(link, options);
}

static int openListener(const SimulatorOptions& options, uint16_t& boundPort) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const int resolved = ::getaddrinfo(options.host.c_str(), std::to_string(options.port).c_str(), &hints, &addresses);
  if (resolved != 0) {
    std::fprintf(stderr, "devsim: cannot resolve %s: %s\n", options.host.c_str(), ::gai_strerror(resolved));
    return -1;
  }
  int listener = -1;
  for (const addrinfo* address = addresses; address != nullptr && listener < 0; address = address->ai_next) {
    listener = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol);
    if (listener < 0) continue;
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listener, address->ai_addr, address->ai_addrlen) != 0 || ::listen(listener, 64) != 0) {
      std::fprintf(stderr, "devsim: cannot listen on %s: %s\n", options.host.c_str(), std::strerror(errno));
      ::close(listener);
      listener = -1;
    }
  }
  ::freeaddrinfo(addresses);
  if (listener < 0) return -1;
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return listener;
}

static void serveClient(int socket, const SimulatorOptions& options) {
  std::fprintf(stderr, "devsim: client connected\n");
  ClientLink link(socket, options.dropAfter);
  if (options.dropAfter && *options.dropAfter == 0) {
    link.close();
  } else {
    makeDevice(link, options)->serve();
  }
  std::fprintf(stderr, "devsim: client gone\n");
}

int runServer(const SimulatorOptions& options) {
  uint16_t port = 0;
  const int listener = openListener(options, port);
  if (listener < 0) return 1;
  const bool ipv6 = options.host.find(':') != std::string::npos;
  std::printf("listening on %s%s%s:%u\n", ipv6 ? "[" : "", options.host.c_str(), ipv6 ? "]" : "", port);
  std::fflush(stdout);
  for (;;) {
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE) continue;
      std::fprintf(stderr, "devsim: accept failed: %s\n", std::strerror(errno));
      return 1;
    }
    // Options live for the whole process, so detached threads may keep them.
    std::thread(serveClient, client, std::cref(options)).detach();
  }
}

}  // namespace vkt::devsim
