// Starting and stopping Xvfb for the tests (see xvfb_server.h). Xvfb picks
// a free display number itself and writes it to the pipe named by
// -displayfd, so parallel tests never collide.
#include "xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace vkt::test {

bool xvfbInstalled() {
  const char* path = std::getenv("PATH");
  std::string paths = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= paths.size();) {
    size_t end = paths.find(':', start);
    if (end == std::string::npos) end = paths.size();
    if (access((paths.substr(start, end - start) + "/Xvfb").c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool XvfbServer::start(const std::string& geometry) {
  int report[2];
  if (pipe(report) != 0) return false;
  pid_ = fork();
  if (pid_ == 0) {
    close(report[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    const std::string fd = std::to_string(report[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", geometry.c_str(), "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(report[1]);
  std::string number;
  pollfd wait{report[0], POLLIN, 0};
  while (pid_ > 0 && poll(&wait, 1, 20000) > 0) {
    char c;
    if (read(report[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(report[0]);
  if (number.empty()) return false;
  display_ = ":" + number;
  return true;
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace vkt::test
