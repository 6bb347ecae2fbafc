// libRemoteSocket: the kind-7100 transport. Packets arrive as message 1425,
// JPEG pictures (data frames) as 1427; connection messages 1445 and 1446.
#include "core/debug_log.h"
#include "core/transport_calls.h"
#include "sdk/transport_api.h"

namespace {
const vkt::transport::TransportProfile kProfile{"RemoteSocket", WM_TRANSPORT_NOTIFY, WM_TRANSPORT_DATA};
}

using namespace vkt::transport;

extern "C" {

TRANSPORT_EXPORT void TRANSPORT_CALL displayDebugMessage(int32_t enable) { setDebugOutput(enable != 0); }

// Nothing process-wide needs setting up: sends use MSG_NOSIGNAL, so no
// SIGPIPE handler is needed.
TRANSPORT_EXPORT int32_t TRANSPORT_CALL initializeRemoteSocket(void) { return 1; }

// The process is letting the library go: no worker thread may outlive it.
TRANSPORT_EXPORT void TRANSPORT_CALL uninitializeRemoteSocket(void) { disconnectAllConnections(); }

// The mode argument has a single meaning (report to the window) and is not read.
TRANSPORT_EXPORT TransportHandle TRANSPORT_CALL createRemoteSocket(HWND window, int32_t) {
  return createConnection(window, kProfile);
}

TRANSPORT_EXPORT int32_t TRANSPORT_CALL connectRemoteSocket(TransportHandle handle, void* connectSocketInfo) {
  return connectConnection(handle, connectSocketInfo);
}

TRANSPORT_EXPORT int32_t TRANSPORT_CALL sendPacketDataRemoteSocket(TransportHandle handle, uint16_t type,
                                                                   uint8_t* data, uint32_t length) {
  return sendOnConnection(handle, type, data, length);
}

TRANSPORT_EXPORT void TRANSPORT_CALL disconnectRemoteSocket(TransportHandle handle) { disconnectConnection(handle); }

TRANSPORT_EXPORT void TRANSPORT_CALL destroyRemoteSocket(TransportHandle handle) { destroyConnection(handle); }

}  // extern "C"
