// Reading the device address and port out of the caller's connect record.
#include <cstring>

#include "endpoint.h"
#include "wire/frame.h"

namespace vkt::transport {

bool parseConnectRecord(const void* record, Endpoint& out) {
  if (record == nullptr) return false;
  const auto* bytes = static_cast<const uint8_t*>(record);
  const void* end = std::memchr(bytes, 0, kConnectRecordAddressField);
  if (end == nullptr || end == bytes) return false;
  const uint16_t port = static_cast<uint16_t>(wire::loadLe32(bytes + kConnectRecordPortOffset) & 0xFFFF);
  if (port == 0) return false;
  out.host.assign(reinterpret_cast<const char*>(bytes), static_cast<const uint8_t*>(end) - bytes);
  out.port = port;
  return true;
}

}  // namespace vkt::transport
