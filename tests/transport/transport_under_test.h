// Test helper: both transport libraries behind one table, so a test can
// run against either kind, and a connection that is created, connected
// and finally destroyed with the test.
#pragma once
#include <string>

#include "sdk/transport_api.h"
#include "tests/common/connect_record.h"
#include "tests/transport/window_thread.h"

namespace vkt::test {

struct TransportApi {
  int kind;
  UINT notifyMessage;
  UINT dataMessage;
  TransportHandle (*create)(HWND window);
  int32_t (*connect)(TransportHandle handle, void* record);
  int32_t (*send)(TransportHandle handle, uint16_t type, uint8_t* data, uint32_t length);
  void (*disconnect)(TransportHandle handle);
  void (*destroy)(TransportHandle handle);
};

inline const TransportApi& remoteSocketApi() {
  static const TransportApi api{7100,
                                WM_TRANSPORT_NOTIFY,
                                WM_TRANSPORT_DATA,
                                [](HWND window) { return createRemoteSocket(window, 1); },
                                connectRemoteSocket,
                                sendPacketDataRemoteSocket,
                                disconnectRemoteSocket,
                                destroyRemoteSocket};
  return api;
}

inline const TransportApi& nvsRemoteSocketApi() {
  static const TransportApi api{5200,           WM_TRANSPORT_NOTIFY2,   WM_TRANSPORT_DATA2, NSMGAPI_Create,
                                NSMGAPI_Connect, NSMGAPI_SendPacketData, NSMGAPI_Disconnect, NSMGAPI_Destroy};
  return api;
}

// A handle that lives as long as the object; connect() starts an attempt
// and waits for its outcome message.
class TestConnection {
 public:
  TestConnection(const TransportApi& api, WindowThread& window)
      : api_(api), window_(window), handle_(api.create(window.window())) {}
  ~TestConnection() { destroy(); }

  TransportHandle handle() const { return handle_; }

  // True when the attempt started and 1445 with wParam 1 arrived.
  bool connect(const std::string& host, uint32_t port) {
    auto record = makeConnectRecord(host, port);
    const size_t before = window_.count(WM_TRANSPORT_CONNECT);
    if (api_.connect(handle_, record.data()) == 0) return false;
    if (!window_.waitForCount(WM_TRANSPORT_CONNECT, before + 1)) return false;
    for (const ObservedMessage& seen : window_.messages())
      if (seen.message == WM_TRANSPORT_CONNECT && seen.wParam == 1) return true;
    return false;
  }

  int32_t send(uint16_t type, const void* data, uint32_t length) {
    return api_.send(handle_, type, static_cast<uint8_t*>(const_cast<void*>(data)), length);
  }

  void disconnect() { api_.disconnect(handle_); }

  void destroy() {
    if (handle_ == nullptr) return;
    api_.disconnect(handle_);
    api_.destroy(handle_);
    handle_ = nullptr;
  }

 private:
  const TransportApi& api_;
  WindowThread& window_;
  TransportHandle handle_;
};

}  // namespace vkt::test
