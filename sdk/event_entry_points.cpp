// The exported functions of vkt7100sdk_events.h: the event callback and
// reconnection switch of a handle, checked as the eight functions check it.
#include "handle_lookup.h"
#include "vkt7100sdk_events.h"

extern "C" {

VKT_API int32_t VKT_CALL VKT_SetEventCallback(void* handle, VKT_EventCallback callback, void* user) {
  const SessionRef session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  session->SetEventCallback(callback, user);
  return VKT_OK;
}

VKT_API int32_t VKT_CALL VKT_SetReconnect(void* handle, uint32_t maxDelayMs) {
  const SessionRef session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  session->SetReconnect(maxDelayMs);
  return VKT_OK;
}

}  // extern "C"
