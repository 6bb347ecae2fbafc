/* How long VKT_OpenServer waits for a device, beside the eight functions
   of vkt7100sdk.h. An application with many devices sets short waits so
   that an unreachable one costs it a second, not ten, on the thread that
   owns the handle. The same waits bound each reconnect attempt. */
#pragma once
#include "vkt7100sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The range of a wait, in milliseconds; 0 restores the kind's default:
   10 s for the login answer and for the connection (kind 5200: 11 s for
   the connection, then 10 s for the device's ready notice). */
#define VKT_TIMEOUT_MIN_MS 100
#define VKT_TIMEOUT_MAX_MS 60000

/* Sets the handle's connect wait (the connection and, for kind 5200, the
   device's ready notice after it: each at most connectMs, then
   VKT_ERR_CONNECT_TIMEOUT; a connection still being dialled then is
   abandoned) and its login wait (the login answer: at most loginMs, then
   VKT_ERR_LOGIN_TIMEOUT). Each value is 0 (the default) or from
   VKT_TIMEOUT_MIN_MS to VKT_TIMEOUT_MAX_MS. Applies from the next
   VKT_OpenServer or reconnect attempt on. VKT_ERR_PARAMETER, nothing
   changed, for a value out of range or a handle that is not live on the
   calling thread. */
VKT_API int32_t VKT_CALL VKT_SetTimeouts(void* handle, uint32_t connectMs, uint32_t loginMs);

#ifdef __cplusplus
}
#endif
