// Spawning and stopping the device simulator for the transport tests.
#include "devsim_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace vkt::test {

DevsimProcess::DevsimProcess(int kind, std::vector<std::string> extraArguments, const std::string& listen) {
  // VKT_DEVSIM may name another build of the simulator: the ThreadSanitizer
  // run takes the plain one, whose pace is a device's, not an instrumented one's.
  const char* simulator = std::getenv("VKT_DEVSIM");
  std::vector<std::string> arguments = {simulator && *simulator ? simulator : VKT_DEVSIM_PATH, "--kind",
                                        std::to_string(kind), "--listen", listen};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);

  // The first line is "listening on HOST:PORT"; allow 10 s (sanitised builds start slowly).
  std::string line;
  pollfd readable{output[0], POLLIN, 0};
  while (pid_ > 0 && line.find('\n') == std::string::npos && ::poll(&readable, 1, 10000) > 0) {
    char chunk[128];
    const ssize_t got = ::read(output[0], chunk, sizeof chunk);
    if (got <= 0) break;
    line.append(chunk, static_cast<size_t>(got));
  }
  ::close(output[0]);
  const size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos)
    port_ = static_cast<uint16_t>(std::strtoul(line.c_str() + colon + 1, nullptr, 10));
}

DevsimProcess::~DevsimProcess() { stop(SIGTERM); }

void DevsimProcess::kill() { stop(SIGKILL); }

void DevsimProcess::stop(int signal) {
  if (pid_ <= 0) return;
  ::kill(pid_, signal);
  int status;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

uint16_t closedLocalPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);  // nobody listens there now
  return ntohs(address.sin_port);
}

}  // namespace vkt::test
