// The abandonable lookup: a shared record between the waiting thread and
// the helper, and a pipe through which the helper says it is done.
#include "name_lookup.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace vkt::transport {

namespace {

addrinfo LookupHints(int extraFlags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | extraFlags;
  return hints;
}

// Owned jointly by the waiter and the helper; the last one out frees it
// and any addresses nobody took.
struct PendingLookup {
  std::mutex mutex;
  addrinfo* addresses = nullptr;
  int error = 0;
  int done[2] = {-1, -1};  // the helper writes one byte to done[1]

  ~PendingLookup() {
    if (addresses) ::freeaddrinfo(addresses);
    for (int fd : done)
      if (fd >= 0) ::close(fd);
  }
};

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

LookupResult lookUpHost(const std::string& host, uint16_t port, int wakeFd,
                        std::chrono::steady_clock::time_point deadline, addrinfo*& addresses, std::string& failure) {
  const std::string service = std::to_string(port);
  addresses = nullptr;
  // A numeric address never waits for the resolver.
  const addrinfo numeric = LookupHints(AI_NUMERICHOST);
  const int numericResult = ::getaddrinfo(host.c_str(), service.c_str(), &numeric, &addresses);
  if (numericResult == 0) return LookupResult::Found;
  if (numericResult != EAI_NONAME) {
    failure = ::gai_strerror(numericResult);
    return LookupResult::Failed;
  }

  auto pending = std::make_shared<PendingLookup>();
  if (::pipe2(pending->done, O_CLOEXEC) != 0) {
    failure = std::strerror(errno);
    return LookupResult::Failed;
  }
  try {
    std::thread([pending, host, service] {
      const addrinfo hints = LookupHints(0);
      addrinfo* found = nullptr;
      const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
      {
        std::lock_guard<std::mutex> hold(pending->mutex);
        pending->addresses = found;
        pending->error = error;
      }
      const char byte = 1;
      while (::write(pending->done[1], &byte, 1) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error& error) {
    failure = error.what();
    return LookupResult::Failed;
  }

  pollfd fds[2] = {{pending->done[0], POLLIN, 0}, {wakeFd, POLLIN, 0}};
  int ready;
  do {
    ready = ::poll(fds, 2, millisecondsUntil(deadline));
  } while (ready < 0 && errno == EINTR);
  if (fds[1].revents != 0) return LookupResult::Stopped;
  if (ready <= 0 || fds[0].revents == 0) {
    failure = ready == 0 ? "name lookup timed out" : std::strerror(errno);
    return LookupResult::Failed;
  }
  std::lock_guard<std::mutex> hold(pending->mutex);
  if (pending->error != 0) {
    failure = ::gai_strerror(pending->error);
    return LookupResult::Failed;
  }
  addresses = pending->addresses;
  pending->addresses = nullptr;
  return LookupResult::Found;
}

}  // namespace vkt::transport
