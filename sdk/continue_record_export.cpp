// VKT_ContinueRecord: moves a kind-5200 handle's running recording into a
// new file at the stream's next segment header (vkt7100sdk_recording.h).
#include "h264_device_session.h"
#include "handle_lookup.h"
#include "vkt7100sdk_recording.h"

extern "C" VKT_API int32_t VKT_CALL VKT_ContinueRecord(void* handle, uint32_t channel, const char* fileName) {
  const SessionRef session = SessionOf(handle);
  if (!session) return VKT_ERR_PARAMETER;
  auto* h264Session = dynamic_cast<H264DeviceSession*>(session.get());
  if (!h264Session) return VKT_ERR_NOT_SUPPORTED;
  return h264Session->ContinueRecord(channel, fileName);
}
