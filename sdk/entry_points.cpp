// The eight exported functions: handle creation, handle validation, and the
// hand-over of each call to the session behind the handle.
#include <windows.h>

#include <cstring>
#include <new>

#include "device_session.h"
#include "h264_device_session.h"
#include "jpeg_device_session.h"
#include "vkt7100sdk.h"

namespace {

// The bytes of a session object that validation requires to be readable,
// the same for both kinds.
constexpr UINT_PTR kCheckedSessionBytes = 328;
// The magic is the field right after the table of virtual operations.
constexpr size_t kMagicOffset = sizeof(void*);

// The session behind a handle, or null when the handle is null, unreadable
// or lacks the magic, or the caller is not on the handle's own thread (the
// session's window and waits belong to that thread; see docs/sessions.md).
DeviceSession* SessionOf(void* handle, const char* call = __builtin_FUNCTION()) {
  if (!handle || IsBadReadPtr(handle, kCheckedSessionBytes)) return nullptr;
  // Read as plain bytes: until the magic matches, this is no object at all.
  uint32_t magic = 0;
  std::memcpy(&magic, static_cast<const uint8_t*>(handle) + kMagicOffset, sizeof magic);
  if (magic != SESSION_MAGIC) return nullptr;
  auto* session = static_cast<DeviceSession*>(handle);
  return session->CalledOnOwnerThread(call) ? session : nullptr;
}

bool KnownKind(int32_t kind) { return kind == VKT_KIND_H264 || kind == VKT_KIND_JPEG; }

// A session of a known kind; null only when memory ran out.
DeviceSession* NewSession(int32_t kind) {
  if (kind == VKT_KIND_H264) return new (std::nothrow) H264DeviceSession();
  return new (std::nothrow) JpegDeviceSession();
}

}  // namespace

extern "C" {

VKT_API int32_t VKT_CALL VKT_CreateHandle(int32_t kind, void** handle) {
  if (!handle || !KnownKind(kind)) return VKT_ERR_PARAMETER;
  DeviceSession* session = NewSession(kind);
  *handle = session;
  // Out of memory: no handle, and the caller must not think it has one.
  if (!session) return VKT_ERR_PARAMETER;
  // A session whose window could not be created is returned all the same;
  // its waits end by timeout.
  session->CreateMessageWindow();
  return VKT_OK;
}

VKT_API int32_t VKT_CALL VKT_OpenServer(void* handle, const char* address, int32_t port, const char* user,
                                        const char* password) {
  DeviceSession* session = SessionOf(handle);
  return session ? session->Connect(address, port, user, password) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_CloseServer(void* handle) {
  DeviceSession* session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  delete session;
  return VKT_OK;
}

VKT_API int32_t VKT_CALL VKT_OpenChannel(void* handle, uint32_t channel, HWND videoWindow) {
  DeviceSession* session = SessionOf(handle);
  return session ? session->OpenChannel(channel, videoWindow) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_CloseChannel(void* handle, uint32_t channel) {
  DeviceSession* session = SessionOf(handle);
  return session ? session->CloseChannel(channel) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_GetServerInfo(void* handle, ServerInfo* info) {
  DeviceSession* session = SessionOf(handle);
  return session && info ? session->GetServerInfo(info) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_StartRecord(void* handle, uint32_t channel, const char* fileName) {
  DeviceSession* session = SessionOf(handle);
  return session ? session->StartRecord(channel, fileName) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_StopRecord(void* handle, uint32_t channel) {
  DeviceSession* session = SessionOf(handle);
  return session ? session->StopRecord(channel) : VKT_ERR_PARAMETER;
}

}  // extern "C"
