// The functions of either transport library behind one table, so the demo
// client drives both device kinds with the same code.
#pragma once
#include "sdk/transport_api.h"

namespace vkt::login {

struct TransportTable {
  int kind;
  UINT notifyMessage;
  TransportHandle (*create)(HWND window);
  int32_t (*connect)(TransportHandle handle, void* connectRecord);
  int32_t (*sendInit)(TransportHandle handle);  // null for kind 7100
  int32_t (*send)(TransportHandle handle, uint16_t type, uint8_t* data, uint32_t length);
  void (*disconnect)(TransportHandle handle);
  void (*destroy)(TransportHandle handle);
};

// The table of kind 5200 or 7100; null for any other kind.
const TransportTable* transportForKind(int kind);

}  // namespace vkt::login
