// Tables of the two transport libraries' exported functions.
#include "transport_table.h"

namespace vkt::login {

static TransportHandle createRemote(HWND window) { return createRemoteSocket(window, 1); }

static const TransportTable kRemoteSocket{7100,
                                          WM_TRANSPORT_NOTIFY,
                                          createRemote,
                                          connectRemoteSocket,
                                          nullptr,
                                          sendPacketDataRemoteSocket,
                                          disconnectRemoteSocket,
                                          destroyRemoteSocket};

static const TransportTable kNvsRemoteSocket{5200,
                                             WM_TRANSPORT_NOTIFY2,
                                             NSMGAPI_Create,
                                             NSMGAPI_Connect,
                                             NSMGAPI_SendInitPacketData,
                                             NSMGAPI_SendPacketData,
                                             NSMGAPI_Disconnect,
                                             NSMGAPI_Destroy};

const TransportTable* transportForKind(int kind) {
  if (kind == 7100) return &kRemoteSocket;
  if (kind == 5200) return &kNvsRemoteSocket;
  return nullptr;
}

}  // namespace vkt::login
