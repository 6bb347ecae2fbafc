// The demo client's conversation with one device: a hidden message window
// receives the transport's messages; the handshake (init, readiness,
// login, login done) advances one message at a time on this thread.
#pragma once
#include <windows.h>

#include <string>

#include "transport_table.h"

namespace vkt::login {

struct LoginSettings {
  int kind = 0;
  std::string host;
  uint16_t port = 0;
  std::string user;
  std::string password;
  int deviceTimeNotices = 3;  // kind 5200: notices to show before leaving
  DWORD timeoutMs = 15000;
};

enum ExitCode : int {
  kExitAccepted = 0,
  kExitRefused = 1,
  kExitUsage = 2,
  kExitNotConnected = 3,
  kExitConnectionLost = 4,
  kExitTimeout = 5,
  kExitSetupFailed = 6,
};

// Runs the whole exchange with its own message loop; returns the exit code.
int runLogin(const LoginSettings& settings);

}  // namespace vkt::login
