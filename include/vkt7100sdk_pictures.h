/* Per-channel picture figures of a handle, beside the eight
   functions of vkt7100sdk.h: what became of the pictures the device sent
   for one channel. Pictures are decoded on the SDK's own worker threads;
   a picture that waits while a newer one of the same channel arrives is
   dropped undecoded, as are pictures of channels not open or not asked
   for, so the counts show what a slow machine or a misbehaving device
   cost. */
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
} VKT_PICTURE_COUNTS;

/* Fills `counts` for channel 0 to 15 of a kind-7100 handle, or channel 0 of
   a kind-5200 handle (whose pictures are never dropped undecoded for being
   unwanted, and whose `failed` stays 0: the decoder gives no picture for a
   box it cannot use). Counts wrap at 2^32 and stay after the channel
   closes. VKT_ERR_PARAMETER for a bad handle, a channel beyond 15 (beyond 0
   for kind 5200), no record or a `size` other than the record's. */
VKT_API int32_t VKT_CALL VKT_GetPictureCounts(void* handle, uint32_t channel, VKT_PICTURE_COUNTS* counts);

#ifdef __cplusplus
}
#endif
