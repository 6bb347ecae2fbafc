/* Recording into a series of files, beside the eight functions of
   vkt7100sdk.h: an application that keeps its recordings as files of a
   fixed length (an hour, a quarter of an hour) moves a running kind-5200
   recording into the next file without stopping it, so no block of the
   stream is lost between the two. */
#pragma once
#include "vkt7100sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Continues the recording of `channel` (0) into `fileName`, which is
   created (or truncated) at once: the blocks up to the stream's next
   segment header still go to the current file, that header and everything
   after it to the new one. Each file then reads back as a recording of its
   own, and the files one after the other hold every block. A second call
   before that header replaces the file named first, which stays empty.
   VKT_OK; VKT_ERR_PARAMETER for a bad handle, a channel other than 0, no
   recording under way, or a file that cannot be created (the recording
   then goes on in its current file); VKT_ERR_NOT_SUPPORTED for a kind-7100
   handle. */
VKT_API int32_t VKT_CALL VKT_ContinueRecord(void* handle, uint32_t channel, const char* fileName);

#ifdef __cplusplus
}
#endif
