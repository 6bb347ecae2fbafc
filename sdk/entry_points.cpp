// The eight exported functions: handle creation, handle validation, and the
// hand-over of each call to the session behind the handle. Validation ends
// with the live-handle registry, which also keeps the session alive for the
// length of the call.
#include <windows.h>

#include "device_session.h"
#include "h264_device_session.h"
#include "handle_lookup.h"
#include "jpeg_device_session.h"
#include "live_sessions.h"
#include "picture_callback.h"
#include "vkt7100sdk.h"

namespace {

bool KnownKind(int32_t kind) { return kind == VKT_KIND_H264 || kind == VKT_KIND_JPEG; }

// A live session of a known kind; null only when memory ran out.
DeviceSession* NewSession(int32_t kind) {
  if (kind == VKT_KIND_H264) return CreateLiveSession<H264DeviceSession>();
  return CreateLiveSession<JpegDeviceSession>();
}

}  // namespace

extern "C" {

VKT_API int32_t VKT_CALL VKT_CreateHandle(int32_t kind, void** handle) {
  // A picture callback's thread belongs to the SDK: no handle can live on it.
  if (!handle || !KnownKind(kind) || InsidePictureCallback()) return VKT_ERR_PARAMETER;
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
  return session ? session->OpenServer(address, port, user, password) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_CloseServer(void* handle) {
  const SessionRef session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  // Destroyed when this call lets go of it, or later if another call
  // still runs in it (a wait, or the window procedure delivering an event
  // whose callback closes the handle): that call's wait ends at once.
  session->RequestClose();
  CloseLiveSession(session);
  return VKT_OK;
}

VKT_API int32_t VKT_CALL VKT_OpenChannel(void* handle, uint32_t channel, HWND videoWindow) {
  const SessionRef session = SessionOf(handle);
  return session ? session->OpenChannelInWindow(channel, videoWindow) : VKT_ERR_PARAMETER;
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
