// VKT_GetPictureCounts: the decode pool's per-channel counts of a kind-7100
// handle, or the counts of a kind-5200 handle's one channel, copied into the
// application's record.
#include "channel_picture_counts.h"
#include "h264_device_session.h"
#include "jpeg_device_session.h"
#include "handle_lookup.h"
#include "vkt7100sdk_pictures.h"

extern "C" VKT_API int32_t VKT_CALL VKT_GetPictureCounts(void* handle, uint32_t channel,
                                                        VKT_PICTURE_COUNTS* counts) {
  const SessionRef session = SessionOf(handle);
  if (!session || !counts || counts->size != sizeof *counts || channel >= kChannelSlots) return VKT_ERR_PARAMETER;
  ChannelPictureCounts source;
  if (const auto* jpegSession = dynamic_cast<const JpegDeviceSession*>(session.get())) {
    source = jpegSession->PictureCounts(channel);
  } else if (const auto* h264Session = dynamic_cast<const H264DeviceSession*>(session.get())) {
    if (channel != 0) return VKT_ERR_PARAMETER;
    source = h264Session->PictureCounts();
  } else {
    return VKT_ERR_NOT_SUPPORTED;
  }
  counts->received = static_cast<uint32_t>(source.received);
  counts->droppedBeforeDecoding = static_cast<uint32_t>(source.DroppedBeforeDecoding());
  counts->failed = static_cast<uint32_t>(source.failed);
  counts->decoded = static_cast<uint32_t>(source.decoded);
  counts->shown = static_cast<uint32_t>(source.shown);
  counts->width = source.width;
  counts->height = source.height;
  counts->decodedWidth = source.decodedWidth;
  counts->decodedHeight = source.decodedHeight;
  return VKT_OK;
}
