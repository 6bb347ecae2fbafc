// The simulator for test programs running under Wine: the Linux vkt-devsim
// cannot be started from here, so a broker on the Linux side starts it
// (tests/win32/devsim_broker.py, port in VKT_DEVSIM_BROKER_PORT). The
// connection to the broker stands for the child process: pid_ holds its
// socket, and closing it ends the simulator.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <string>

#include "devsim_process.h"

static_assert(sizeof(SOCKET) == sizeof(pid_t), "the broker socket travels in the pid field");

namespace vkt::test {

namespace {

bool startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET native(pid_t socket) { return static_cast<SOCKET>(static_cast<unsigned>(socket)); }

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

bool sendText(SOCKET socket, const std::string& text) {
  return ::send(socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

// Reads up to the first newline (10 s at most).
std::string readLine(SOCKET socket) {
  const DWORD timeoutMs = 10000;
  ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
  std::string line;
  char c;
  while (::recv(socket, &c, 1, 0) == 1 && c != '\n') line.push_back(c);
  return line;
}

}  // namespace

DevsimProcess::DevsimProcess(int kind, std::vector<std::string> extraArguments, const std::string& listen) {
  const char* brokerPort = std::getenv("VKT_DEVSIM_BROKER_PORT");
  if (brokerPort == nullptr || !startWinsock()) return;
  const SOCKET broker = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (broker == INVALID_SOCKET) return;
  const sockaddr_in address = loopback(static_cast<uint16_t>(std::strtoul(brokerPort, nullptr, 10)));
  std::string request = std::to_string(kind) + "\t" + listen;
  for (const std::string& argument : extraArguments) request += "\t" + argument;
  if (::connect(broker, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      !sendText(broker, request + "\n")) {
    ::closesocket(broker);
    return;
  }
  pid_ = static_cast<pid_t>(broker);
  port_ = static_cast<uint16_t>(std::strtoul(readLine(broker).c_str(), nullptr, 10));
}

DevsimProcess::~DevsimProcess() { stop(0); }

void DevsimProcess::kill() { stop(1); }

// signal 1 kills the simulator, 0 terminates it; either way the broker
// closes the connection once the process is gone.
void DevsimProcess::stop(int signal) {
  if (pid_ == -1) return;
  const SOCKET broker = native(pid_);
  sendText(broker, signal == 1 ? "kill\n" : "stop\n");
  readLine(broker);
  ::closesocket(broker);
  pid_ = -1;
}

uint16_t closedLocalPort() {
  if (!startWinsock()) return 0;
  const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = loopback(0);
  int length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::closesocket(fd);  // nobody listens there now
  return ntohs(address.sin_port);
}

}  // namespace vkt::test
