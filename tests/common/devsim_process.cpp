// Child-process wrapper around the device simulator for tests.
#include "devsim_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#ifndef VKT_DEVSIM_PATH
#error "VKT_DEVSIM_PATH must name the simulator binary"
#endif

DevsimProcess::DevsimProcess(const std::vector<std::string>& args) {
  int fds[2];
  if (pipe(fds) != 0) return;
  std::vector<std::string> all = {VKT_DEVSIM_PATH, "--listen", "127.0.0.1:0"};
  all.insert(all.end(), args.begin(), args.end());
  pid_ = fork();
  if (pid_ == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return;
  }
  FILE* out = fdopen(fds[0], "r");
  char line[256];
  while (out && fgets(line, sizeof line, out)) {
    const char* colon = strrchr(line, ':');
    if (strncmp(line, "listening on ", 13) == 0 && colon) {
      port_ = atoi(colon + 1);
      break;
    }
  }
  // Keep reading whatever else it prints, so it never blocks on a full pipe.
  if (out)
    drain_ = std::thread([out] {
      char rest[256];
      while (fgets(rest, sizeof rest, out)) {
      }
      fclose(out);
    });
}

DevsimProcess::~DevsimProcess() { Kill(); }

void DevsimProcess::Kill() {
  if (pid_ <= 0) {
    if (drain_.joinable()) drain_.join();
    return;
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  if (drain_.joinable()) drain_.join();
}

int UnusedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}
