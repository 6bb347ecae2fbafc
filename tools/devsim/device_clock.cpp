// Local-time readings for the login answer and the device-time notice.
#include "device_clock.h"

#include <ctime>

namespace vkt::devsim {

wire::DeviceDateTime localDeviceTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  wire::DeviceDateTime time;
  time.year = static_cast<uint16_t>(local.tm_year + 1900);
  time.month = static_cast<uint8_t>(local.tm_mon + 1);
  time.day = static_cast<uint8_t>(local.tm_mday);
  time.hour = static_cast<uint8_t>(local.tm_hour);
  time.minute = static_cast<uint8_t>(local.tm_min);
  time.second = static_cast<uint8_t>(local.tm_sec);
  return time;
}

wire::DeviceDateTime deviceStartTime() {
  static const wire::DeviceDateTime start = localDeviceTime();
  return start;
}

}  // namespace vkt::devsim
