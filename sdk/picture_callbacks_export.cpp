// The exported functions of vkt7100sdk_callbacks.h: the picture callback,
// channels without a window, snapshots, the draw callback and kind-7100
// recordings, checked as
// the eight functions check their handle and handed to the session.
#include "handle_lookup.h"
#include "vkt7100sdk_callbacks.h"

extern "C" {

VKT_API int32_t VKT_CALL VKT_SetPictureCallback(void* handle, uint32_t channel, VKT_PictureCallback callback,
                                                void* user) {
  const SessionRef session = SessionOf(handle);
  return session ? session->SetPictureCallback(channel, callback, user) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_OpenChannelWithoutWindow(void* handle, uint32_t channel, uint32_t reduction) {
  const SessionRef session = SessionOf(handle);
  return session ? session->OpenChannelWithoutWindow(channel, reduction) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_SavePicture(void* handle, uint32_t channel, const char* fileName) {
  const SessionRef session = SessionOf(handle);
  return session && fileName ? session->SavePicture(channel, fileName) : VKT_ERR_PARAMETER;
}

VKT_API int32_t VKT_CALL VKT_SetDrawCallback(void* handle, uint32_t channel, VKT_DrawCallback callback, void* user) {
  const SessionRef session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  // The same function type as the renderer's, and the same "nothing" value.
  static_assert(sizeof(VKT_DrawCallback) == sizeof(DrawCallback), "one callback type");
  return session->SetDrawCallback(channel, reinterpret_cast<DrawCallback>(callback), user);
}

VKT_API int32_t VKT_CALL VKT_RecordPictures(void* handle, uint32_t channel, const char* fileName) {
  const SessionRef session = SessionOf(handle);
  return session ? session->RecordPictures(channel, fileName) : VKT_ERR_PARAMETER;
}

}  // extern "C"
