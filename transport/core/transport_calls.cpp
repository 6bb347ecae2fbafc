// Exported-function behaviour over the handle registry.
#include "transport_calls.h"

#include <new>

#include "handle_registry.h"
#include "wire/device_packets.h"

namespace vkt::transport {

// One registry per library: each shared library links its own copy of
// this code, so handles of one library mean nothing to the other. It is
// never destroyed: the library's unload step, and connections an
// application never closed, still reach it after static objects are gone
// at process exit.
static HandleRegistry& registry() {
  static HandleRegistry* instance = new HandleRegistry;
  return *instance;
}

void* createConnection(HWND window, const TransportProfile& profile) {
  std::shared_ptr<Connection> connection(new (std::nothrow) Connection(window, profile));
  return connection ? registry().add(std::move(connection)) : nullptr;
}

int32_t connectConnection(void* handle, const void* connectRecord) {
  const std::shared_ptr<Connection> connection = registry().find(handle);
  Endpoint endpoint;
  if (!connection || !parseConnectRecord(connectRecord, endpoint)) return 0;
  return connection->connect(endpoint) ? 1 : 0;
}

int32_t sendOnConnection(void* handle, uint16_t type, const uint8_t* payload, uint32_t length) {
  const std::shared_ptr<Connection> connection = registry().find(handle);
  return connection && connection->send(type, payload, length) ? 1 : 0;
}

int32_t sendInitPacket(void* handle) {
  uint8_t init[wire::kInitPacketSize];
  wire::encodeInitPacket(init);
  return sendOnConnection(handle, wire::kPacketInit, init, sizeof init);
}

void disconnectConnection(void* handle) {
  if (const std::shared_ptr<Connection> connection = registry().find(handle)) connection->disconnect();
}

void destroyConnection(void* handle) {
  // The connection dies (and disconnects) with its last reference, which is
  // this one unless another thread is inside a call on the same handle.
  if (const std::shared_ptr<Connection> connection = registry().remove(handle)) connection->disconnect();
}

void disconnectAllConnections() {
  for (const std::shared_ptr<Connection>& connection : registry().all()) connection->disconnect();
}

}  // namespace vkt::transport
