// Printing of SDK results (see result_report.h).
#include "result_report.h"

#include <cstdio>

#include "vkt7100sdk.h"

namespace vkt::viewer {

const char* resultName(int32_t result) {
  switch (result) {
    case VKT_OK: return "ok";
    case VKT_ERR_PARAMETER: return "parameter";
    case VKT_ERR_NOT_CONNECTED: return "not connected";
    case VKT_ERR_CONNECT_TIMEOUT: return "connect timeout";
    case VKT_ERR_TRANSPORT: return "transport";
    case VKT_ERR_LOGIN_DENIED: return "login denied";
    case VKT_ERR_LOGIN_FAILED: return "login failed";
    case VKT_ERR_LOGIN_TIMEOUT: return "login timeout";
    case VKT_ERR_NOT_SUPPORTED: return "not supported";
    default: return "unknown";
  }
}

bool report(const char* step, int32_t result) {
  std::printf("%-18s 0x%08X %s\n", step, static_cast<unsigned>(result), resultName(result));
  std::fflush(stdout);
  return result == VKT_OK;
}

}  // namespace vkt::viewer
