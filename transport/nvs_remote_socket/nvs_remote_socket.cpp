// libNVSRemoteSocket: the kind-5200 transport. Packets arrive as message
// 1645, stream blocks (data frames) as 1647; connection messages 1445 and
// 1446. The session sends the init packet on every 1445; the device
// answers it with the ready packet (85).
#include "core/debug_log.h"
#include "core/transport_calls.h"
#include "sdk/transport_api.h"

namespace {
const vkt::transport::TransportProfile kProfile{"NVSRemoteSocket", WM_TRANSPORT_NOTIFY2, WM_TRANSPORT_DATA2};

// This library has no debug switch: its lines always go to the debug
// output, which the platform shows only on request.
const bool debugLinesOn = (vkt::transport::setDebugOutput(true), true);
}

using namespace vkt::transport;

extern "C" {

TRANSPORT_EXPORT TransportHandle TRANSPORT_CALL NSMGAPI_Create(HWND window) {
  return createConnection(window, kProfile);
}

TRANSPORT_EXPORT int32_t TRANSPORT_CALL NSMGAPI_Connect(TransportHandle handle, void* connectSocketInfo) {
  return connectConnection(handle, connectSocketInfo);
}

TRANSPORT_EXPORT int32_t TRANSPORT_CALL NSMGAPI_SendInitPacketData(TransportHandle handle) {
  return sendInitPacket(handle);
}

TRANSPORT_EXPORT int32_t TRANSPORT_CALL NSMGAPI_SendPacketData(TransportHandle handle, uint16_t type, uint8_t* data,
                                                               uint32_t length) {
  return sendOnConnection(handle, type, data, length);
}

TRANSPORT_EXPORT void TRANSPORT_CALL NSMGAPI_Disconnect(TransportHandle handle) { disconnectConnection(handle); }

TRANSPORT_EXPORT void TRANSPORT_CALL NSMGAPI_Destroy(TransportHandle handle) { destroyConnection(handle); }

}  // extern "C"
