// Public interface of the VKT7100 SDK: result codes, device kinds and the
// device information record.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Result codes of the exported functions.
#define VKT_OK 0
#define VKT_ERR_PARAMETER 0x10000001
#define VKT_ERR_NOT_CONNECTED 0x10000002
#define VKT_ERR_CONNECT_TIMEOUT 0x10000003
#define VKT_ERR_TRANSPORT 0x10000004
#define VKT_ERR_LOGIN_DENIED 0x10000005
#define VKT_ERR_LOGIN_FAILED 0x10000006
#define VKT_ERR_LOGIN_TIMEOUT 0x10000007
#define VKT_ERR_NOT_SUPPORTED 0x10000008

// Device kinds.
#define VKT_KIND_H264 5200
#define VKT_KIND_JPEG 7100

// The device information record (112 bytes). Set `size` to the number of
// bytes the caller provides before asking for it.
typedef struct ServerInfo {
  uint32_t size;
  char address[64];
  uint32_t port;
  uint16_t channelCount;
  uint16_t deviceInfo[3];
  uint16_t dateTime1[8];  // SYSTEMTIME layout: year, month, day of week, day, hour, minute, second, ms
  uint16_t dateTime2[8];
} ServerInfo;

#ifdef __cplusplus
}
static_assert(sizeof(ServerInfo) == 112, "the information record is 112 bytes");
#endif
