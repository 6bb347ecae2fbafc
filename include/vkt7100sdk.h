// Public interface of the VKT7100 SDK: result codes, device kinds, the
// device information record and the eight exported functions.
#pragma once
#include <stdint.h>
#include <windows.h>

// Exported by name; on 32-bit Windows with the standard calling convention
// (the module definition file keeps the names undecorated).
#if defined(_WIN32)
#if defined(VKT_SDK_BUILD)
#define VKT_API __declspec(dllexport)
#else
#define VKT_API __declspec(dllimport)
#endif
#if defined(_M_IX86) || defined(__i386__)
#define VKT_CALL __stdcall
#else
#define VKT_CALL
#endif
#else
#define VKT_API __attribute__((visibility("default")))
#define VKT_CALL
#endif

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

// A handle belongs to the thread that created it; that thread must run a
// message loop for video to flow, and calls with the handle on any other
// thread fail at once with VKT_ERR_PARAMETER (docs/sessions.md). Every
// function returns a result code. Once the device's connection is lost, the
// functions that need it (VKT_OpenChannel, VKT_StartRecord) return
// VKT_ERR_NOT_CONNECTED before looking at their other arguments, and a
// recording under way is closed with everything received so far.
VKT_API int32_t VKT_CALL VKT_CreateHandle(int32_t kind, void** handle);
VKT_API int32_t VKT_CALL VKT_OpenServer(void* handle, const char* address, int32_t port, const char* user,
                                        const char* password);
VKT_API int32_t VKT_CALL VKT_CloseServer(void* handle);
VKT_API int32_t VKT_CALL VKT_OpenChannel(void* handle, uint32_t channel, HWND videoWindow);
VKT_API int32_t VKT_CALL VKT_CloseChannel(void* handle, uint32_t channel);
VKT_API int32_t VKT_CALL VKT_GetServerInfo(void* handle, ServerInfo* info);
VKT_API int32_t VKT_CALL VKT_StartRecord(void* handle, uint32_t channel, const char* fileName);
VKT_API int32_t VKT_CALL VKT_StopRecord(void* handle, uint32_t channel);

#ifdef __cplusplus
}
static_assert(sizeof(ServerInfo) == 112, "the information record is 112 bytes");
#endif
