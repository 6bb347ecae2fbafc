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
#include <string>

#include "channel_picture_counts.h"
#include "device_records.h"
#include "draw_callback.h"
#include "result_codes.h"
#include "session_events.h"
#include "transport_api.h"
#include "vkt7100sdk_callbacks.h"

class VideoRenderer;

constexpr uint32_t SESSION_MAGIC = 0x343a9b3c;
constexpr int kChannelSlots = 16;
constexpr uint32_t kServerInfoSize = sizeof(ServerInfo);
// Wait results beyond the event: WaitForEvent returns this when the wait ran
// past its timeout, whatever the last wait said.
constexpr uint32_t kWaitTimeout = WAIT_TIMEOUT;
// Extra time a wait may take while messages keep arriving.
constexpr DWORD kWaitSlackMs = 200;

// The hidden window's timer that starts the next reconnect attempt.
constexpr UINT_PTR RECONNECT_TIMER_ID = 1033;

extern const char kSessionWindowClass[];

// The module instance kept by the library entry point; windows are
// registered and created with it.
HINSTANCE SdkModuleInstance();
void SetSdkModuleInstance(HINSTANCE instance);

class DeviceSession {
 public:
  // `kind` is the device kind the session logs in as (VKT_KIND_*).
  explicit DeviceSession(int32_t kind);

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
  // After a reconnect's login: asks the device again for what was open.
  virtual void ResumeAfterReconnect();                                                                // 13
  // Pictures for the application (vkt7100sdk_callbacks.h); the base
  // answers VKT_ERR_NOT_SUPPORTED, or false.
  virtual VktResult SetPictureCallback(uint32_t channel, VKT_PictureCallback callback, void* user);
  virtual VktResult OpenChannelWithoutWindow(uint32_t channel, uint32_t reduction);
  virtual VktResult SavePicture(uint32_t channel, const char* fileName);
  // Kind 7100's recording of one channel's pictures; null stops it.
  virtual VktResult RecordPictures(uint32_t channel, const char* fileName);
  // What became of the channel's pictures, with their latencies.
  virtual bool PictureCounts(uint32_t channel, ChannelPictureCounts& counts) const;

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
  // A session that is reconnecting counts as lost until it is back.
  bool ConnectionLost() const { return (loggedIn && !connected) || reconnecting_; }
  // True on the thread that created the session; elsewhere false, with a
  // debug line naming the refused call. Every entry point but handle
  // creation is refused on other threads.
  bool CalledOnOwnerThread(const char* call) const;

  // VKT_OpenServer: Connect, and on success keeps where and as whom the
  // session logged in, for reconnecting.
  VktResult OpenServer(const char* address, int32_t port, const char* user, const char* password);
  // VKT_OpenChannel: OpenChannel, refused with a debug line when another
  // open channel (of any handle) already draws into the window.
  VktResult OpenChannelInWindow(uint32_t channel, HWND videoWindow);
  // VKT_CloseServer: ends any wait at once and stops reconnecting and
  // delivering events; the session is destroyed when the last call lets go.
  void RequestClose();
  bool CloseRequested() const { return closeRequested_; }
  void SetEventCallback(VKT_EventCallback callback, void* user) { events_.SetCallback(callback, user); }
  // 0 switches reconnection off (the default).
  void SetReconnect(uint32_t maxDelayMs) { reconnectMaxMs_ = maxDelayMs; }
  bool ReconnectEnabled() const { return reconnectMaxMs_ != 0; }
  // VKT_SetTimeouts: the connect and login waits; 0 keeps the kind's default.
  void SetTimeouts(DWORD connectMs, DWORD loginMs) {
    connectWaitMs_ = connectMs;
    loginWaitMs_ = loginMs;
  }
  // Any thread: queues an event for delivery on the window thread.
  void PostEvent(int32_t type, int32_t channel, int32_t value1, int32_t value2, const char* text = "") {
    events_.Post(window, type, channel, value1, value2, text);
  }
  SessionEvents& Events() { return events_; }

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
  // The waits of a connect attempt: the application's (VKT_SetTimeouts),
  // or the kind's default. The connect wait covers the connection and, for
  // kind 5200, the device's ready notice; the login wait its answer.
  DWORD ConnectWaitMs(DWORD kindDefault) const { return connectWaitMs_ ? connectWaitMs_ : kindDefault; }
  DWORD LoginWaitMs(DWORD kindDefault) const { return loginWaitMs_ ? loginWaitMs_ : kindDefault; }

 private:
  // The debug line and the event of a lost connection; `reason` is the
  // transport's (the close message's wParam).
  void ReportConnectionLost(WPARAM reason);
  // A wrong-kind refusal may come before the login is asked for: a device
  // of the other kind answers the first packet it cannot take with it.
  void TakeEarlyRefusal(int32_t answerCode);
  void RefuseLogin(int32_t answerCode);
  // Arms the timer of the next reconnect attempt and says so.
  void ScheduleReconnect();
  // Runs on the timer: one redial and login; on success the kind reopens
  // its channels, otherwise the next attempt is scheduled, or, after a
  // refused login, reconnection ends.
  void RunReconnectAttempt();
  // A handler closed the handle while a reconnect attempt waits: the wait
  // ends at once. (VKT_OpenServer's own wait runs on to its end, the
  // session whole until it returns.)
  bool EndWaitForClose() const { return closeRequested_ && redialing_; }
  // Ends reconnection for good; the handle stays lost.
  void AbandonReconnecting(VktResult why, const char* text);
  // Window messages as the window procedure hands them on, with the
  // session held for the call.
  void HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  bool loginWaitOpen_ = false;
  bool loginAnswered_ = false;
  // The thread that created the session: its window and every wait belong
  // to it.
  DWORD ownerThread_;
  const int32_t kind_;
  bool closeRequested_ = false;
  SessionEvents events_;
  // Reconnection: the handle's maximum delay (0: off), where and as whom
  // to log in again, and the attempt under way.
  uint32_t reconnectMaxMs_ = 0;
  DWORD connectWaitMs_ = 0;
  DWORD loginWaitMs_ = 0;
  bool reconnecting_ = false;
  bool redialing_ = false;  // inside a reconnect attempt's Connect
  uint32_t reconnectAttempt_ = 0;
  uint32_t jitterState_;
  std::string savedAddress_;
  int32_t savedPort_ = 0;
  std::string savedUser_;
  std::string savedPassword_;
};
