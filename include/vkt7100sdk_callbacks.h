/* Pictures for the application, beside the eight functions of
   vkt7100sdk.h: every decoded picture of a channel handed to the
   application's own code, channels opened without a window (decoded for
   that code only), a channel's last picture written to a file, and the
   application's own drawing over a picture before it is shown. See
   docs/api.md for the thread each callback runs on. */
#pragma once
#include "vkt7100sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One decoded picture. The pixels are valid during the callback only. */
typedef struct VKT_PICTURE {
  uint32_t size;         /* sizeof(VKT_PICTURE) */
  uint32_t channel;
  uint32_t width;        /* pixels, as decoded */
  uint32_t height;
  uint32_t stride;       /* bytes from one row to the next (at least width x 3) */
  uint32_t reserved;
  const uint8_t* pixels; /* blue, green, red; rows top first */
  /* Kind 5200: the device's timestamp (milliseconds) of the stream box the
     picture came in. Kind 7100: the picture's arrival at the SDK, in
     microseconds of a steady clock that starts at the SDK's first use in
     the process. */
  uint64_t timestamp;
  /* The picture's number among those that named the channel since the
     handle was created (kind 5200: among the stream's video boxes; from 1): a gap tells of pictures dropped before
     decoding or refused by the decoder. */
  uint64_t sequence;
} VKT_PICTURE;

/* Called on the thread that decoded the picture (a kind-7100 decode
   worker, the kind-5200 decoding thread), never on the application's
   thread, before the picture is drawn. Every function of the handle, and
   VKT_CreateHandle, called from inside it is refused with
   VKT_ERR_PARAMETER, as from any thread that does not own the handle. */
typedef void(VKT_CALL* VKT_PictureCallback)(void* handle, const VKT_PICTURE* picture, void* user);

/* Sets (or with a null callback removes) the picture callback of a channel
   (0 to 15; kind 5200: 0). It stays across the channel's closing and
   opening. Returns once a call under way has ended: none with the old
   callback follows. */
VKT_API int32_t VKT_CALL VKT_SetPictureCallback(void* handle, uint32_t channel, VKT_PictureCallback callback,
                                                void* user);

/* Opens a channel without a window: its pictures are decoded for the
   picture callback only, nothing is drawn. Kind 7100 decodes at the size
   given by `reduction`: 1 (whole), 2, 4 or 8 (each side divided, rounded
   up); kind 5200 takes 1 only. Close it with VKT_CloseChannel. */
VKT_API int32_t VKT_CALL VKT_OpenChannelWithoutWindow(void* handle, uint32_t channel, uint32_t reduction);

/* Writes the channel's last decoded picture to `fileName`: a 24-bit BMP
   for a name ending in ".bmp" (both kinds; at the size the picture was
   decoded), and for kind 7100 ".jpg" the picture's bytes exactly as the
   device sent them. VKT_ERR_PARAMETER for another ending, a channel with
   no picture yet, or a file that cannot be written; VKT_ERR_NOT_SUPPORTED
   for ".jpg" on kind 5200. */
VKT_API int32_t VKT_CALL VKT_SavePicture(void* handle, uint32_t channel, const char* fileName);

/* The application's drawing over a picture: called with the picture
   surface's device context, the picture's {width, height} and `user`, on
   the drawing thread, after the picture callback and before the blit. */
typedef void(VKT_CALL* VKT_DrawCallback)(HDC dc, uint32_t* pictureSize, void* user);
/* The callback value that draws nothing over the picture. A null callback
   keeps the built-in drawing (kind 5200: the device's date and the
   recording dot; kind 7100 has none). */
#define VKT_DRAW_NOTHING ((VKT_DrawCallback)(uintptr_t)1)

/* Sets the channel's draw callback (0 to 15; kind 5200: 0), for the
   renderer that draws now and for those of later openings. */
VKT_API int32_t VKT_CALL VKT_SetDrawCallback(void* handle, uint32_t channel, VKT_DrawCallback callback, void* user);

/* Kind 7100: records the channel's pictures as the device sent them, each
   with its arrival time, into `fileName` (created or truncated; the format
   is in docs/api.md, "Kind-7100 recordings"), from the next picture on; a
   recording under way is closed first. A null `fileName` stops the
   recording. VKT_ERR_PARAMETER for a channel beyond 15 or a file that
   cannot be created; VKT_ERR_NOT_SUPPORTED for kind 5200, which records
   with VKT_StartRecord. */
VKT_API int32_t VKT_CALL VKT_RecordPictures(void* handle, uint32_t channel, const char* fileName);

#ifdef __cplusplus
}
#endif
