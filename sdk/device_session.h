// DeviceSession: what both device kinds share.
//
// A session owns an auto-reset event on which requests wait, a hidden
// message window through which the transport libraries deliver every
// notification and every block of video data, sixteen channel slots and the
// device information record. Everything here runs on the thread that created
// the session: the window belongs to it, and WaitForEvent keeps dispatching
// that thread's messages so the handlers that signal the event run inside
// the wait.
//
// The field order and the order of the virtual operations are part of the
// handle's binary contract (the entry points read the magic at byte 4).
#pragma once
#include <windows.h>

#include <cstdint>

#include "device_records.h"
#include "draw_callback.h"
#include "result_codes.h"
#include "transport_api.h"

class VideoRenderer;

constexpr uint32_t SESSION_MAGIC = 0x343a9b3c;
constexpr int kChannelSlots = 16;
constexpr uint32_t kServerInfoSize = sizeof(ServerInfo);
// Wait results beyond the event: WaitForEvent returns this when the wait ran
// past its timeout, whatever the last wait said.
constexpr uint32_t kWaitTimeout = WAIT_TIMEOUT;
// Extra time a wait may take while messages keep arriving.
constexpr DWORD kWaitSlackMs = 200;

extern const char kSessionWindowClass[];

// The module instance kept by the library entry point; windows are
// registered and created with it.
HINSTANCE SdkModuleInstance();
void SetSdkModuleInstance(HINSTANCE instance);

class DeviceSession {
 public:
  DeviceSession();

  // Virtual operations, in slot order.
  virtual VktResult Notify(PacketHeader* header, void* payload) = 0;                                 // 0
  virtual VktResult Connect(const char* address, int32_t port, const char* user, const char* password) = 0;  // 1
  virtual VktResult OnData(void* data, uint32_t length) = 0;                                          // 2
  virtual VktResult RequestVideo() = 0;                                                               // 3
  virtual VktResult OpenChannel(uint32_t channel, HWND videoWindow) = 0;                              // 4
  virtual VktResult CloseChannel(uint32_t channel) = 0;                                               // 5
  virtual void Close();                                                                               // 6
  virtual VktResult OnMessage(uint32_t message, WPARAM wParam, LPARAM lParam);                        // 7
  virtual ~DeviceSession();                                                                           // 8
  virtual VktResult SetDrawCallback(uint32_t channel, DrawCallback callback, void* context);          // 9
  virtual VktResult StopRecord(uint32_t channel);                                                     // 10
  virtual VktResult StartRecord(uint32_t channel, const char* fileName);                              // 11
  virtual VktResult SendControl(int32_t value1, int32_t value2);                                      // 12

  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // Registers the window class on first use and creates the hidden window.
  // A failure leaves `window` null and is not reported: every wait for the
  // device then ends by timeout.
  int32_t CreateMessageWindow();
  // Waits for `event` while dispatching the thread's messages. 0 when the
  // event was signalled, otherwise a non-zero wait result (258 on timeout).
  uint32_t WaitForEvent(HANDLE waitEvent, DWORD timeoutMs);
  void SignalConnection(int32_t value);
  VktResult GetServerInfo(ServerInfo* info) const;
  // True once the transport reported the connection of a logged-in session
  // gone; operations that need the device then answer
  // VKT_ERR_NOT_CONNECTED whatever their arguments.
  bool ConnectionLost() const { return loggedIn && !connected; }
  // True on the thread that created the session; elsewhere false, with a
  // debug line naming the refused call. Every entry point but handle
  // creation is refused on other threads.
  bool CalledOnOwnerThread(const char* call) const;

  // Fields, in record order.
  uint32_t magic;
  HANDLE event;
  int32_t connected;
  int32_t loggedIn;
  HWND window;
  uint32_t channelMask;
  HANDLE recordFiles[kChannelSlots];
  uint8_t* pictureBuffer;
  int32_t lastError;
  VideoRenderer* renderers[kChannelSlots];
  TransportHandle transport;
  ServerInfo serverInfo;

 protected:
  // Shared steps of both kinds' handshakes.
  // Records where the session is connected: the port's low 16 bits and at
  // most 63 characters of the address.
  void StoreConnectedAddress(const char* address, int32_t port);
  // Builds the login packet's payload; over-long names are cut so that both
  // stay NUL-terminated inside their fields.
  static LoginRequest MakeLoginRequest(const char* user, const char* password, int32_t loginMode);
  // Takes a login answer while a login wait is open: on acceptance the
  // device information and the channel count (the answer's, or
  // `fixedChannelCount` when that is not kChannelCountFromAnswer) go into
  // serverInfo and loggedIn is set; otherwise lastError says why. The
  // answer closes the wait and signals the event. An answer too short to
  // hold its fields counts as a refusal. An answer outside a login wait
  // (after a timeout, or a second answer) changes nothing: it is logged
  // and ignored.
  static constexpr int kChannelCountFromAnswer = -1;
  void TakeLoginAnswer(const PacketHeader* header, const void* payload, int fixedChannelCount);
  // Opens the login wait; call before the login request goes out.
  void OpenLoginWait();
  // Waits until the login answer arrives, the connection is lost or the
  // time is up, whatever else signals the event meanwhile (a repeated
  // ready notice or connect message). Closes the wait. VKT_OK, the
  // refusal's code, VKT_ERR_NOT_CONNECTED or VKT_ERR_LOGIN_TIMEOUT.
  VktResult AwaitLoginAnswer(DWORD timeoutMs);
  // Readies the session for a connect attempt after a failed one: the
  // connection flags, the connected address and the event are cleared and
  // messages that the released transport left queued are dropped. The kind
  // releases its transport first.
  void PrepareConnectAttempt();

 private:
  // The one debug line of a lost connection.
  void ReportConnectionLost() const;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  bool loginWaitOpen_ = false;
  bool loginAnswered_ = false;
  // The thread that created the session: its window and every wait belong
  // to it.
  DWORD ownerThread_;
};
