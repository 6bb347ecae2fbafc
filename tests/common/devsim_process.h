// Test helper shared by the suites: runs vkt-devsim as a child process on a free local port and
// stops it when the test ends.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vkt::test {

class DevsimProcess {
 public:
  // Starts `vkt-devsim --kind KIND --listen 127.0.0.1:0 EXTRA...` and waits
  // for its "listening on" line. port() is 0 when that failed.
  DevsimProcess(int kind, std::vector<std::string> extraArguments = {}, const std::string& listen = "127.0.0.1:0");
  ~DevsimProcess();
  DevsimProcess(const DevsimProcess&) = delete;
  DevsimProcess& operator=(const DevsimProcess&) = delete;

  uint16_t port() const { return port_; }
  // Kills the simulator at once, dropping every connection it holds.
  void kill();

 private:
  void stop(int signal);

  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// A loopback port on which nothing listens (bound, then released).
uint16_t closedLocalPort();

}  // namespace vkt::test
