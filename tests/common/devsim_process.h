// Runs vkt-devsim as a child process for a test and reports its port.
#pragma once
#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

class DevsimProcess {
 public:
  // Starts the simulator with `--listen 127.0.0.1:0` plus `args` and waits
  // until it prints the port it listens on.
  explicit DevsimProcess(const std::vector<std::string>& args);
  ~DevsimProcess();
  DevsimProcess(const DevsimProcess&) = delete;
  DevsimProcess& operator=(const DevsimProcess&) = delete;

  bool running() const { return pid_ > 0 && port_ > 0; }
  int port() const { return port_; }
  // Kills the simulator at once, dropping every connection it holds.
  void Kill();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::thread drain_;  // keeps reading the simulator's output until it exits
};

// A loopback port on which nothing listens (bound, then released).
int UnusedLoopbackPort();
