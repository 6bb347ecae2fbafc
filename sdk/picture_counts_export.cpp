// VKT_GetPictureCounts: a channel's picture counts and latencies, copied
// into the application's record as far as its size reaches (the older,
// shorter record is still filled).
#include <cstddef>

#include "channel_picture_counts.h"
#include "handle_lookup.h"
#include "vkt7100sdk_pictures.h"

static_assert(offsetof(VKT_PICTURE_COUNTS, delivered) == VKT_PICTURE_COUNTS_SIZE_V1,
              "the older record ends where the latency fields begin");

extern "C" VKT_API int32_t VKT_CALL VKT_GetPictureCounts(void* handle, uint32_t channel,
                                                        VKT_PICTURE_COUNTS* counts) {
  const SessionRef session = SessionOf(handle);
  if (!session || !counts || (counts->size != sizeof *counts && counts->size != VKT_PICTURE_COUNTS_SIZE_V1) ||
      channel >= kChannelSlots)
    return VKT_ERR_PARAMETER;
  ChannelPictureCounts source;
  if (!session->PictureCounts(channel, source)) return VKT_ERR_PARAMETER;
  counts->received = static_cast<uint32_t>(source.received);
  counts->droppedBeforeDecoding = static_cast<uint32_t>(source.DroppedBeforeDecoding());
  counts->failed = static_cast<uint32_t>(source.failed);
  counts->decoded = static_cast<uint32_t>(source.decoded);
  counts->shown = static_cast<uint32_t>(source.shown);
  counts->width = source.width;
  counts->height = source.height;
  counts->decodedWidth = source.decodedWidth;
  counts->decodedHeight = source.decodedHeight;
  if (counts->size == VKT_PICTURE_COUNTS_SIZE_V1) return VKT_OK;
  counts->delivered = static_cast<uint32_t>(source.delivered);
  counts->blitLatencyMedianUs = source.toBlit.medianMicros;
  counts->blitLatencyWorstUs = source.toBlit.worstMicros;
  counts->callbackLatencyMedianUs = source.toCallback.medianMicros;
  counts->callbackLatencyWorstUs = source.toCallback.worstMicros;
  return VKT_OK;
}
