// The eight exported functions: handle creation, handle validation, and the
// hand-over of each call to the session behind the handle. Validation ends
// with the live-handle registry, which also keeps the session alive for the
// length of the call.
#include <windows.h>

#include <cstring>

#include "device_session.h"
#include "h264_device_session.h"
#include "jpeg_device_session.h"
#include "live_sessions.h"
#include "vkt7100sdk.h"

namespace {

// The bytes of a session object that validation requires to be readable,
// the same for both kinds.
constexpr UINT_PTR kCheckedSessionBytes = 328;
// The magic is the field right after the table of virtual operations.
constexpr size_t kMagicOffset = sizeof(void*);

// The session behind a handle, held for the call; empty when the handle is
// null, unreadable, lacks the magic or is not a live handle (closed, or a
// block that merely carries the magic), or when the caller is not on the
// handle's own thread (the session's window and waits belong to that
// thread; see docs/sessions.md).
SessionRef SessionOf(void* handle, const char* call = __builtin_FUNCTION()) {
  if (!handle || IsBadReadPtr(handle, kCheckedSessionBytes)) return SessionRef();
  // Read as plain bytes: until the magic matches, this is no object at all.
  uint32_t magic = 0;
  std::memcpy(&magic, static_cast<const uint8_t*>(handle) + kMagicOffset, sizeof magic);
  if (magic != SESSION_MAGIC) return SessionRef();
  SessionRef session = PinLiveSession(handle);
  if (session && !session->CalledOnOwnerThread(call)) return SessionRef();
  return session;
}

bool KnownKind(int32_t kind) { return kind == VKT_KIND_H264 || kind == VKT_KIND_JPEG; }

// A live session of a known kind; null only when memory ran out.
DeviceSession* NewSession(int32_t kind) {
  if (kind == VKT_KIND_H264) return CreateLiveSession<H264DeviceSession>();
  return CreateLiveSession<JpegDeviceSession>();
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
  const SessionRef session = SessionOf(handle);
  return session ? session->Connect(address, port, user, password) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_CloseServer(void* handle) {
  const SessionRef session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  // Destroyed when this call lets go of it, or later if another call
  // still runs in it.
  CloseLiveSession(session);
  return VKT_OK;
}

VKT_API int32_t VKT_CALL VKT_OpenChannel(void* handle, uint32_t channel, HWND videoWindow) {
  const SessionRef session = SessionOf(handle);
  return session ? session->OpenChannel(channel, videoWindow) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_CloseChannel(void* handle, uint32_t channel) {
  const SessionRef session = SessionOf(handle);
  return session ? session->CloseChannel(channel) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_GetServerInfo(void* handle, ServerInfo* info) {
  const SessionRef session = SessionOf(handle);
  return session && info ? session->GetServerInfo(info) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_StartRecord(void* handle, uint32_t channel, const char* fileName) {
  const SessionRef session = SessionOf(handle);
  return session ? session->StartRecord(channel, fileName) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_StopRecord(void* handle, uint32_t channel) {
  const SessionRef session = SessionOf(handle);
  return session ? session->StopRecord(channel) : VKT_ERR_PARAMETER;
}

}  // extern "C"
