// VKT_SetTimeouts: the connect and login waits of a handle, checked
// against their range before either is changed.
#include "handle_lookup.h"
#include "vkt7100sdk_timeouts.h"

namespace {

bool UsableWait(uint32_t ms) { return ms == 0 || (ms >= VKT_TIMEOUT_MIN_MS && ms <= VKT_TIMEOUT_MAX_MS); }

}  // namespace

extern "C" VKT_API int32_t VKT_CALL VKT_SetTimeouts(void* handle, uint32_t connectMs, uint32_t loginMs) {
  const SessionRef session = SessionOf(handle);
  if (!session || !UsableWait(connectMs) || !UsableWait(loginMs)) return VKT_ERR_PARAMETER;
  session->SetTimeouts(connectMs, loginMs);
  return VKT_OK;
}
