/* Per-channel picture figures, beside the eight functions of
   vkt7100sdk.h: what became of the pictures the device sent for one
   channel, and how late they were shown. Pictures are decoded on the
   SDK's own threads; a kind-7100 picture that waits while a newer one of
   the same channel arrives is dropped undecoded, as are pictures of
   channels not open or not asked for, and a kind-5200 stream that
   decoding cannot keep up with loses pictures up to its next key picture,
   so the counts show what a slow machine or a misbehaving device cost.
   VKT_EVENT_PICTURES_DROPPED counts, over all channels, the pictures
   replaced while waiting, those refused by the decoder (failed) and those
   decoded but not drawn (decoded - shown), as they happen. */
#pragma once
#include "vkt7100sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VKT_PICTURE_COUNTS {
  uint32_t size;                   /* set by the caller: sizeof(VKT_PICTURE_COUNTS) */
  uint32_t received;               /* pictures that named the channel */
  uint32_t droppedBeforeDecoding;  /* not asked for, or replaced by a newer one while waiting */
  uint32_t failed;                 /* refused by the decoder (broken, beyond the size limit) */
  uint32_t decoded;                /* decoded and handed to the channel's window */
  uint32_t shown;                  /* of those, drawn */
  uint32_t width;                  /* the last decoded picture as the device sent it; 0 before the first */
  uint32_t height;
  uint32_t decodedWidth;           /* and as decoded for the window (reduced by 2, 4 or 8 for small windows) */
  uint32_t decodedHeight;
  /* The record of VKT_PICTURE_COUNTS_SIZE_V1 bytes ends here; the fields
     below are filled for a record of sizeof(VKT_PICTURE_COUNTS). */
  uint32_t delivered;              /* of the decoded, handed to the picture callback (vkt7100sdk_callbacks.h) */
  /* Latency, in microseconds, of the pictures of the last second: from
     their arrival at the SDK to their blit into the window, and to the
     picture callback; median and worst, 0 when none came. */
  uint32_t blitLatencyMedianUs;
  uint32_t blitLatencyWorstUs;
  uint32_t callbackLatencyMedianUs;
  uint32_t callbackLatencyWorstUs;
} VKT_PICTURE_COUNTS;

/* The size of the record before the latency fields: still accepted. */
#define VKT_PICTURE_COUNTS_SIZE_V1 40

/* Fills `counts` for channel 0 to 15 of a kind-7100 handle, or channel 0
   of a kind-5200 handle (whose droppedBeforeDecoding counts the pictures
   dropped because decoding fell behind the stream, and those left
   undecoded when the channel closed or decoding restarted at a key
   picture). Every picture received has one outcome once the channel is
   closed: droppedBeforeDecoding, failed or decoded. Counts wrap at 2^32
   and stay after the channel closes. VKT_ERR_PARAMETER for a bad handle,
   a channel beyond the kind's, no record or a `size` other than
   sizeof(VKT_PICTURE_COUNTS) or VKT_PICTURE_COUNTS_SIZE_V1. */
VKT_API int32_t VKT_CALL VKT_GetPictureCounts(void* handle, uint32_t channel, VKT_PICTURE_COUNTS* counts);

#ifdef __cplusplus
}
#endif
