// Where a connection goes: the device address and port read from the
// caller's connect record, and the dialling that turns them into a
// connected TCP socket (host names, IPv4 and IPv6, each address in turn).
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace vkt::transport {

// Offsets in the connect record (_tagConnectSocketInfo) that the
// transports read; the other fields are the sessions' constants.
inline constexpr size_t kConnectRecordAddressField = 260;
inline constexpr size_t kConnectRecordPortOffset = 264;

struct Endpoint {
  std::string host;
  uint16_t port = 0;
};

// False for a null record, an address without its NUL inside the 260-byte
// field, an empty address or port 0.
bool parseConnectRecord(const void* record, Endpoint& out);

enum class DialResult { Connected, Failed, Stopped };

// Resolves and connects within `timeout`, giving up early once wakeFd is
// readable. On Connected, `socket` is a blocking stream socket.
DialResult dial(const Endpoint& endpoint, int wakeFd, std::chrono::milliseconds timeout, int& socket,
                std::string& failure);

}  // namespace vkt::transport
