// Records exchanged with the devices during login, shared by both kinds.
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint16_t { PKT_LOGIN = 1 };

// Payload of the login packet (type 1), zero-filled before use.
struct LoginRequest {
  char userName[128];
  char password[132];
  int32_t loginMode;  // 1 from kind 5200, 0 from kind 7100
  uint8_t zero[12];
};
static_assert(sizeof(LoginRequest) == 276, "login request is 276 bytes");
static_assert(offsetof(LoginRequest, loginMode) == 260, "login mode sits at byte 260");

// Byte offsets inside the device's login answer (notification type 1).
// Only these bytes are read; integers are little-endian.
namespace login_answer {
constexpr size_t kAnswerCode = 0;   // int32: 1 accepted, 2 denied, other failed
constexpr size_t kDeviceInfo = 4;   // bytes 4, 5, 6 -> deviceInfo[2], [1], [0]
constexpr size_t kChannelCount = 7;
constexpr size_t kDateTime1 = 8;    // year (2 bytes), month, day, hour, minute, second
constexpr size_t kDateTime2 = 16;
constexpr size_t kMinimumLength = 23;
}  // namespace login_answer
