// Test helper: the connect record (_tagConnectSocketInfo) as the sessions
// fill it.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace vkt::test {

inline std::array<uint8_t, 280> makeConnectRecord(const std::string& host, uint32_t port) {
  std::array<uint8_t, 280> record{};
  std::memcpy(record.data(), host.data(), host.size() < 259 ? host.size() : 259);
  const int32_t two = 2;
  std::memcpy(record.data() + 260, &two, 4);
  std::memcpy(record.data() + 264, &port, 4);
  return record;
}

}  // namespace vkt::test
