// The shared part of every device session: construction and release of the
// event and the hidden window, the window procedure that turns transport
// messages into session operations, the wait loop, and the information
// record copy.
#include "device_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel_windows.h"
#include "debug_line.h"
#include "live_sessions.h"
#include "reconnect_backoff.h"

const char kSessionWindowClass[] = "VKT7100SDK";
static const char kSessionWindowTitle[] = "VKT7100SDK Window";
// The background brush value the class is registered with (COLOR_WINDOWFRAME + 1
// style system colour index), kept for identical class registration.
static const ULONG_PTR kClassBackground = 13;

// Every kind of input and posted message wakes the wait.
static const DWORD kWakeOnAnyInput = 0xFF;

static HINSTANCE g_moduleInstance = nullptr;

HINSTANCE SdkModuleInstance() { return g_moduleInstance; }
void SetSdkModuleInstance(HINSTANCE instance) { g_moduleInstance = instance; }

DeviceSession::DeviceSession(int32_t kind)
    : magic(SESSION_MAGIC),
      event(nullptr),
      connected(0),
      loggedIn(0),
      window(nullptr),
      channelMask(0),
      recordFiles{},
      pictureBuffer(nullptr),
      lastError(0),
      renderers{},
      transport(nullptr),
      serverInfo{},
      ownerThread_(GetCurrentThreadId()),
      kind_(kind),
      events_(this),
      jitterState_(timeGetTime() ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this))) {
  serverInfo.size = kServerInfoSize;
  event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

DeviceSession::~DeviceSession() {
  std::free(pictureBuffer);
  pictureBuffer = nullptr;
  if (window) {
    // Nothing may reach the operations of an object being torn down.
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    window = nullptr;
  }
  if (event) CloseHandle(event);
  event = nullptr;
  ReleaseSessionWindows(this);
  // A store to memory about to be freed is dead to the compiler; through a
  // volatile lvalue it stays, so a stale pointer no longer shows the magic.
  *static_cast<volatile uint32_t*>(&magic) = 0;
}

void DeviceSession::Close() {}

VktResult DeviceSession::OnMessage(uint32_t, WPARAM, LPARAM) { return VKT_OK; }

VktResult DeviceSession::SetDrawCallback(uint32_t, DrawCallback, void*) { return VKT_ERR_NOT_SUPPORTED; }

VktResult DeviceSession::StopRecord(uint32_t) { return VKT_ERR_NOT_SUPPORTED; }

VktResult DeviceSession::StartRecord(uint32_t, const char*) { return VKT_ERR_NOT_SUPPORTED; }

VktResult DeviceSession::SendControl(int32_t, int32_t) { return VKT_OK; }

void DeviceSession::ResumeAfterReconnect() {}

VktResult DeviceSession::SetPictureCallback(uint32_t, VKT_PictureCallback, void*) { return VKT_ERR_NOT_SUPPORTED; }

VktResult DeviceSession::OpenChannelWithoutWindow(uint32_t, uint32_t) { return VKT_ERR_NOT_SUPPORTED; }

VktResult DeviceSession::SavePicture(uint32_t, const char*) { return VKT_ERR_NOT_SUPPORTED; }

VktResult DeviceSession::RecordPictures(uint32_t, const char*) { return VKT_ERR_NOT_SUPPORTED; }

bool DeviceSession::PictureCounts(uint32_t, ChannelPictureCounts&) const { return false; }

int32_t DeviceSession::CreateMessageWindow() {
  WNDCLASSA windowClass{};
  windowClass.style = 0;
  windowClass.lpfnWndProc = &DeviceSession::WindowProc;
  windowClass.hInstance = SdkModuleInstance();
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(kClassBackground);
  windowClass.lpszClassName = kSessionWindowClass;
  // The first session of the process registers the class; later ones find
  // it registered. It is never unregistered.
  if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 0;
  window = CreateWindowExA(0, kSessionWindowClass, kSessionWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, SdkModuleInstance(), this);
  return 0;
}

LRESULT CALLBACK DeviceSession::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* session = reinterpret_cast<DeviceSession*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }
  if (!session || message < WM_TIMER || (message > WM_TIMER && message <= WM_USER))
    return DefWindowProcA(hwnd, message, wParam, lParam);
  // An event callback, or a message loop nested in a handler, may close
  // the handle: held here, the session outlives the handler in any case.
  // A session that is not in the live registry (built by a test) is used
  // as it is.
  const SessionRef hold = PinLiveSession(session);
  if (!session->closeRequested_) session->HandleWindowMessage(message, wParam, lParam);
  return message == WM_SESSION_EVENTS ? 0 : DefWindowProcA(hwnd, message, wParam, lParam);
}

void DeviceSession::HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == RECONNECT_TIMER_ID)
        RunReconnectAttempt();
      else
        RequestVideo();
      return;
    case WM_SESSION_EVENTS:
      events_.Deliver(closeRequested_);
      return;
    case WM_TRANSPORT_NOTIFY:
      Notify(reinterpret_cast<PacketHeader*>(wParam), reinterpret_cast<void*>(lParam));
      break;
    case WM_TRANSPORT_DATA: {
      const auto* block = reinterpret_cast<const DataBlock*>(lParam);
      if (block) OnData(block->data, block->length);
      break;
    }
    case WM_TRANSPORT_CONNECT:
      if (wParam == 1) SignalConnection(1);
      break;
    case WM_TRANSPORT_CLOSE: {
      const bool wasUp = loggedIn && connected;
      SignalConnection(0);
      if (wasUp) ReportConnectionLost(wParam);
      OnMessage(message, wParam, lParam);
      if (wasUp && ReconnectEnabled() && !closeRequested_) {
        reconnecting_ = true;
        reconnectAttempt_ = 0;
        ScheduleReconnect();
      }
      return;
    }
    default:
      break;
  }
  OnMessage(message, wParam, lParam);
}

uint32_t DeviceSession::WaitForEvent(HANDLE waitEvent, DWORD timeoutMs) {
  const DWORD start = timeGetTime();
  for (;;) {
    const DWORD result = MsgWaitForMultipleObjects(1, &waitEvent, FALSE, timeoutMs, kWakeOnAnyInput);
    // Messages that keep arriving would restart the wait for ever; the slack
    // bounds the whole call.
    if (EndWaitForClose() || timeGetTime() - start > timeoutMs + kWaitSlackMs) return kWaitTimeout;
    if (result == WAIT_OBJECT_0) return 0;
    if (result != WAIT_OBJECT_0 + 1) return result;

    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (EndWaitForClose()) return kWaitTimeout;
      // The event resets itself: this check consumes the signal it sees.
      if (WaitForSingleObject(waitEvent, 0) == WAIT_OBJECT_0) return 0;
    }
  }
}

void DeviceSession::ReportConnectionLost(WPARAM reason) {
  char line[128];
  std::snprintf(line, sizeof line, "VKT7100SDK: connection to %s port %u lost\n", serverInfo.address,
                static_cast<unsigned>(serverInfo.port));
  OutputDebugStringA(line);
  static_assert(TRANSPORT_CLOSED_BY_DEVICE == VKT_LOST_CLOSED_BY_DEVICE && TRANSPORT_FAILED == VKT_LOST_NETWORK_ERROR &&
                    TRANSPORT_BAD_FRAME == VKT_LOST_BAD_DATA,
                "the transport's loss reasons are the events'");
  const int32_t why = reason == TRANSPORT_CLOSED_BY_DEVICE || reason == TRANSPORT_BAD_FRAME
                          ? static_cast<int32_t>(reason)
                          : VKT_LOST_NETWORK_ERROR;
  const char* text = why == VKT_LOST_CLOSED_BY_DEVICE ? "the device closed the connection"
                     : why == VKT_LOST_BAD_DATA       ? "the device sent data outside the protocol"
                                                      : "the network connection failed";
  PostEvent(VKT_EVENT_CONNECTION_LOST, -1, why, 0, text);
}

void DeviceSession::SignalConnection(int32_t value) {
  connected = value;
  SetEvent(event);
}

VktResult DeviceSession::GetServerInfo(ServerInfo* info) const {
  const uint32_t size = info->size;
  // A record too small to hold its own size field cannot receive anything.
  if (size > kServerInfoSize || size < sizeof(info->size)) return VKT_ERR_PARAMETER;
  std::memcpy(reinterpret_cast<uint8_t*>(info) + sizeof(info->size),
              reinterpret_cast<const uint8_t*>(&serverInfo) + sizeof(serverInfo.size), size - sizeof(info->size));
  return VKT_OK;
}

void DeviceSession::StoreConnectedAddress(const char* address, int32_t port) {
  serverInfo.port = static_cast<uint32_t>(port) & 0xFFFF;
  std::memset(serverInfo.address, 0, sizeof serverInfo.address);
  std::strncpy(serverInfo.address, address, sizeof serverInfo.address - 1);
}

LoginRequest DeviceSession::MakeLoginRequest(const char* user, const char* password, int32_t loginMode) {
  LoginRequest request{};
  std::strncpy(request.userName, user, sizeof request.userName - 1);
  std::strncpy(request.password, password, sizeof request.password - 1);
  request.loginMode = loginMode;
  return request;
}

// A SYSTEMTIME-layout date from the answer: year (2 bytes), month, day,
// hour, minute, second; day of week and milliseconds stay 0.
static void ReadAnswerDate(const uint8_t* at, uint16_t out[8]) {
  out[0] = static_cast<uint16_t>(at[0] | (at[1] << 8));
  out[1] = at[2];
  out[2] = 0;
  out[3] = at[3];
  out[4] = at[4];
  out[5] = at[5];
  out[6] = at[6];
  out[7] = 0;
}

void DeviceSession::TakeLoginAnswer(const PacketHeader* header, const void* payload, int fixedChannelCount) {
  if (!loginWaitOpen_) {
    int32_t early = 0;
    if (header && payload && header->payloadLength >= sizeof early) std::memcpy(&early, payload, sizeof early);
    if (early == VKT_ANSWER_WRONG_KIND && !loggedIn && !loginAnswered_) {
      TakeEarlyRefusal(early);
      return;
    }
    // Taking it would log the handle in (or out) behind the caller's back.
    SdkDebugLine("login answer outside a login wait ignored");
    return;
  }
  loginWaitOpen_ = false;
  loginAnswered_ = true;
  const auto* answer = static_cast<const uint8_t*>(payload);
  const bool complete = header && answer && header->payloadLength >= login_answer::kMinimumLength;
  int32_t code = 0;
  if (complete) std::memcpy(&code, answer + login_answer::kAnswerCode, sizeof code);
  if (code == 1) {
    serverInfo.channelCount = fixedChannelCount == kChannelCountFromAnswer
                                  ? answer[login_answer::kChannelCount]
                                  : static_cast<uint16_t>(fixedChannelCount);
    serverInfo.deviceInfo[0] = answer[login_answer::kDeviceInfo + 2];
    serverInfo.deviceInfo[1] = answer[login_answer::kDeviceInfo + 1];
    serverInfo.deviceInfo[2] = answer[login_answer::kDeviceInfo];
    ReadAnswerDate(answer + login_answer::kDateTime1, serverInfo.dateTime1);
    ReadAnswerDate(answer + login_answer::kDateTime2, serverInfo.dateTime2);
    loggedIn = 1;
  } else {
    RefuseLogin(code);
  }
  SetEvent(event);
}

void DeviceSession::RefuseLogin(int32_t answerCode) {
  loggedIn = 0;
  lastError = answerCode == 2 ? VKT_ERR_LOGIN_DENIED : VKT_ERR_LOGIN_FAILED;
  char text[96];
  const int32_t otherKind = kind_ == VKT_KIND_H264 ? VKT_KIND_JPEG : VKT_KIND_H264;
  if (answerCode == VKT_ANSWER_WRONG_KIND) {
    std::snprintf(text, sizeof text, "the device is of kind %d, the handle of kind %d", static_cast<int>(otherKind),
                  static_cast<int>(kind_));
    SdkDebugLine("login refused: %s", text);
  } else if (answerCode == 2) {
    std::snprintf(text, sizeof text, "user name or password refused");
  } else {
    std::snprintf(text, sizeof text, "login refused with answer code %d", static_cast<int>(answerCode));
  }
  PostEvent(VKT_EVENT_LOGIN_REFUSED, -1, lastError, answerCode, text);
}

void DeviceSession::TakeEarlyRefusal(int32_t answerCode) {
  loginAnswered_ = true;
  RefuseLogin(answerCode);
  SetEvent(event);
}

VktResult DeviceSession::OpenServer(const char* address, int32_t port, const char* user, const char* password) {
  const VktResult result = Connect(address, port, user, password);
  if (result == VKT_OK) {
    savedAddress_ = address;
    savedPort_ = port;
    savedUser_ = user;
    savedPassword_ = password;
  }
  return result;
}

VktResult DeviceSession::OpenChannelInWindow(uint32_t channel, HWND videoWindow) {
  // A lost device is reported first, whatever the other arguments.
  if (!ConnectionLost() && !WindowFreeForChannel(this, channel, videoWindow, "VKT_OpenChannel"))
    return VKT_ERR_PARAMETER;
  return OpenChannel(channel, videoWindow);
}

void DeviceSession::RequestClose() {
  closeRequested_ = true;
  reconnecting_ = false;
  if (window) KillTimer(window, RECONNECT_TIMER_ID);
  SetEvent(event);
}

void DeviceSession::ScheduleReconnect() {
  ++reconnectAttempt_;
  const uint32_t delay = ReconnectDelayMs(reconnectAttempt_, reconnectMaxMs_, NextJitterBits(jitterState_));
  PostEvent(VKT_EVENT_RECONNECTING, -1, static_cast<int32_t>(reconnectAttempt_), static_cast<int32_t>(delay));
  SetTimer(window, RECONNECT_TIMER_ID, delay, nullptr);
}

void DeviceSession::RunReconnectAttempt() {
  KillTimer(window, RECONNECT_TIMER_ID);
  if (!reconnecting_) return;
  if (!ReconnectEnabled()) {
    // Switched off during the wait: the handle stays lost.
    AbandonReconnecting(VKT_ERR_NOT_CONNECTED, "reconnection switched off");
    return;
  }
  // Connect refuses a logged-in session; this one lost its login with the
  // connection.
  loggedIn = 0;
  redialing_ = true;
  const VktResult result = Connect(savedAddress_.c_str(), savedPort_, savedUser_.c_str(), savedPassword_.c_str());
  redialing_ = false;
  if (closeRequested_) return;
  if (result == VKT_OK) {
    reconnecting_ = false;
    events_.ForgetPictures();
    PostEvent(VKT_EVENT_RECONNECTED, -1, static_cast<int32_t>(reconnectAttempt_), 0);
    ResumeAfterReconnect();
    return;
  }
  if (result == VKT_ERR_LOGIN_DENIED || result == VKT_ERR_LOGIN_FAILED) {
    // The same login will be refused again.
    AbandonReconnecting(result, "the device refused the login");
    return;
  }
  ScheduleReconnect();
}

void DeviceSession::AbandonReconnecting(VktResult why, const char* text) {
  reconnecting_ = false;
  // Lost, as after a loss without reconnection.
  loggedIn = 1;
  connected = 0;
  PostEvent(VKT_EVENT_RECONNECT_ABANDONED, -1, why, 0, text);
}

void DeviceSession::OpenLoginWait() {
  loginWaitOpen_ = true;
  loginAnswered_ = false;
}

VktResult DeviceSession::AwaitLoginAnswer(DWORD timeoutMs) {
  const DWORD start = timeGetTime();
  VktResult result = VKT_ERR_LOGIN_TIMEOUT;
  for (;;) {
    const DWORD elapsed = timeGetTime() - start;
    if (elapsed >= timeoutMs || WaitForEvent(event, timeoutMs - elapsed) != 0) break;
    if (loginAnswered_) {
      result = loggedIn ? VKT_OK : lastError;
      break;
    }
    if (!connected) {
      result = VKT_ERR_NOT_CONNECTED;
      break;
    }
  }
  loginWaitOpen_ = false;
  return result;
}

void DeviceSession::PrepareConnectAttempt() {
  connected = 0;
  loggedIn = 0;
  lastError = 0;
  loginWaitOpen_ = false;
  loginAnswered_ = false;
  // Where the failed attempt connected is no longer true.
  std::memset(serverInfo.address, 0, sizeof serverInfo.address);
  serverInfo.port = 0;
  if (window) {
    // A loss report of the old connection would end the new attempt's wait.
    MSG msg;
    while (PeekMessageA(&msg, window, WM_TRANSPORT_NOTIFY, WM_TRANSPORT_DATA2, PM_REMOVE)) {
    }
  }
  ResetEvent(event);
}

bool DeviceSession::CalledOnOwnerThread(const char* call) const {
  if (GetCurrentThreadId() == ownerThread_) return true;
  SdkDebugLine("%s refused: called on thread %lu, the handle belongs to thread %lu", call,
               static_cast<unsigned long>(GetCurrentThreadId()), static_cast<unsigned long>(ownerThread_));
  return false;
}
