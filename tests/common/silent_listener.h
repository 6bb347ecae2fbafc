// Test helper: a loopback port where connection attempts get no answer.
// The listener's accept queue is filled and never emptied, so the SYN of
// any further connect is dropped and the dialler waits for its deadline.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace vkt::test {

class SilentListener {
 public:
  SilentListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    for (int i = 0; i < 3; ++i) {
      const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(filler);
    }
    ::usleep(100 * 1000);  // the queue fills
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() {
    for (int filler : fillers_) ::close(filler);
    ::close(listener_);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  // 0 when the listener could not be set up.
  uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  std::vector<int> fillers_;
  uint16_t port_ = 0;
};

}  // namespace vkt::test
