// Handshake state machine of the demo client, driven by window messages.
#include "login_client.h"

#include <cstdio>
#include <cstring>

#include "wire/device_packets.h"

namespace vkt::login {
namespace {

constexpr UINT_PTR kTimeoutTimer = 1;

class LoginClient {
 public:
  LoginClient(const LoginSettings& settings, const TransportTable& transport)
      : settings_(settings), transport_(transport) {}

  int run();
  void onMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void onConnect(bool connected);
  void onNotify(const PacketHeader& header, const uint8_t* payload);
  void onLoginAnswer(const uint8_t* payload, uint32_t length);
  void sendLogin();
  void finish(int code, const char* why);

  const LoginSettings& settings_;
  const TransportTable& transport_;
  HWND window_ = nullptr;
  TransportHandle handle_ = nullptr;
  bool finished_ = false;
  int exitCode_ = kExitTimeout;
  int noticesSeen_ = 0;
};

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (auto* client = reinterpret_cast<LoginClient*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
    client->onMessage(message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void printDateTime(const char* label, const wire::DeviceDateTime& time) {
  std::printf("%s: %04u-%02u-%02u %02u:%02u:%02u\n", label, time.year, time.month, time.day, time.hour, time.minute,
              time.second);
}

int LoginClient::run() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.lpszClassName = "VKTLoginDemo";
  if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return kExitSetupFailed;
  window_ = CreateWindowExA(0, "VKTLoginDemo", "vkt-login", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, nullptr, this);
  if (window_ == nullptr) return kExitSetupFailed;
  handle_ = transport_.create(window_);

  // The connect record as the sessions fill it: address, constant, port.
  uint8_t record[280] = {};
  std::memcpy(record, settings_.host.c_str(), settings_.host.size());
  const int32_t constant = 2, port = settings_.port;
  std::memcpy(record + 260, &constant, 4);
  std::memcpy(record + 264, &port, 4);
  if (handle_ == nullptr || transport_.connect(handle_, record) == 0) {
    std::printf("transport refused the connection request\n");
    exitCode_ = kExitNotConnected;
  } else {
    SetTimer(window_, kTimeoutTimer, settings_.timeoutMs, nullptr);
    MSG message;
    while (!finished_ && GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  if (handle_ != nullptr) {
    transport_.disconnect(handle_);
    transport_.destroy(handle_);
  }
  DestroyWindow(window_);
  return exitCode_;
}

void LoginClient::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (finished_) return;
  if (message == WM_TIMER) {
    finish(kExitTimeout, "timed out waiting for the device");
  } else if (message == WM_TRANSPORT_CONNECT) {
    onConnect(wParam == 1);
  } else if (message == WM_TRANSPORT_CLOSE) {
    finish(kExitConnectionLost, "connection closed");
  } else if (message == transport_.notifyMessage) {
    onNotify(*reinterpret_cast<const PacketHeader*>(wParam), reinterpret_cast<const uint8_t*>(lParam));
  }
}

void LoginClient::onConnect(bool connected) {
  if (!connected) {
    finish(kExitNotConnected, "could not connect");
    return;
  }
  std::printf("connected to %s port %u\n", settings_.host.c_str(), settings_.port);
  // Kind 5200 waits for the device's readiness before logging in.
  if (transport_.sendInit != nullptr)
    transport_.sendInit(handle_);
  else
    sendLogin();
}

void LoginClient::sendLogin() {
  wire::LoginRequestFields fields;
  fields.userName = settings_.user;
  fields.password = settings_.password;
  fields.loginMode = transport_.kind == 5200 ? 1 : 0;
  uint8_t request[wire::kLoginRequestSize];
  if (!wire::encodeLoginRequest(fields, request)) {
    finish(kExitUsage, "user name or password too long");
  } else if (transport_.send(handle_, wire::kPacketLogin, request, sizeof request) == 0) {
    finish(kExitConnectionLost, "could not send the login request");
  }
}

void LoginClient::onNotify(const PacketHeader& header, const uint8_t* payload) {
  if (header.type == wire::kPacketReady) {
    std::printf("device ready\n");
    sendLogin();
  } else if (header.type == wire::kPacketLogin) {
    onLoginAnswer(payload, header.payloadLength);
  } else if (header.type == wire::kPacketDeviceTime) {
    wire::DeviceDateTime time;
    if (!wire::decodeDeviceTimeNotice(payload, header.payloadLength, time)) return;
    printDateTime("device time", time);
    if (++noticesSeen_ >= settings_.deviceTimeNotices) finish(kExitAccepted, nullptr);
  }
}

void LoginClient::onLoginAnswer(const uint8_t* payload, uint32_t length) {
  wire::LoginAnswerFields answer;
  if (!wire::decodeLoginAnswer(payload, length, answer)) {
    finish(kExitRefused, "short login answer");
    return;
  }
  const bool accepted = answer.answerCode == wire::kAnswerAccepted;
  std::printf("login answer: code %d (%s)\n", answer.answerCode,
              accepted                                               ? "accepted"
              : answer.answerCode == wire::kAnswerBadCredentials ? "wrong user name or password"
                                                                     : "refused");
  if (!accepted) {
    finish(kExitRefused, nullptr);
    return;
  }
  std::printf("channel count: %u\n", answer.channelCount);
  std::printf("device info: %u %u %u\n", answer.deviceInfo[0], answer.deviceInfo[1], answer.deviceInfo[2]);
  printDateTime("date-time 1", answer.dateTime1);
  printDateTime("date-time 2", answer.dateTime2);
  if (transport_.kind == 5200 && settings_.deviceTimeNotices > 0) {
    transport_.send(handle_, wire::kPacketLoginDone, nullptr, 0);
    return;  // stays for the device-time notices
  }
  finish(kExitAccepted, nullptr);
}

void LoginClient::finish(int code, const char* why) {
  if (why != nullptr) std::printf("%s\n", why);
  std::fflush(stdout);
  finished_ = true;
  exitCode_ = code;
  KillTimer(window_, kTimeoutTimer);
  PostQuitMessage(code);
}

}  // namespace

int runLogin(const LoginSettings& settings) {
  const TransportTable* transport = transportForKind(settings.kind);
  if (transport == nullptr) return kExitUsage;
  LoginClient client(settings, *transport);
  return client.run();
}

}  // namespace vkt::login
