// The simulated device's identity bytes and clock readings, in the
// date-time layout of the login answer and the device-time notice.
#pragma once
#include <cstdint>

#include "wire/device_packets.h"

namespace vkt::devsim {

// Login answer bytes 4, 5 and 6.
inline constexpr uint8_t kDeviceInfo[3] = {3, 2, 1};

wire::DeviceDateTime localDeviceTime();
// The local time at which the simulator started (the "device boot time").
wire::DeviceDateTime deviceStartTime();

}  // namespace vkt::devsim
