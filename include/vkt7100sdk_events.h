// Events and reconnection: functions beside the eight of vkt7100sdk.h, in
// the same library. An application registers one callback per handle to
// learn what happens to the device without polling (loss, reconnection,
// refused logins, pictures arriving, changing size or being dropped, a
// recording stopped by a write error), and may let the handle reconnect on
// its own after a loss. See docs/api.md.
#pragma once
#include "vkt7100sdk.h"

#ifdef __cplusplus
extern "C" {
#endif

// Event types (VKT_Event.type). Fields not named are 0; channel is -1 when
// the event is not about one channel.
#define VKT_EVENT_CONNECTION_LOST 1     // value1: VKT_LOST_* reason; text says it
#define VKT_EVENT_RECONNECTING 2        // value1: attempt (from 1); value2: delay in ms before it
#define VKT_EVENT_RECONNECTED 3         // value1: attempts it took
#define VKT_EVENT_LOGIN_REFUSED 4       // value1: result code; value2: device's answer code; text
#define VKT_EVENT_FIRST_PICTURE 5       // channel; value1: width; value2: height
#define VKT_EVENT_PICTURE_SIZE 6        // channel; value1: new width; value2: new height
#define VKT_EVENT_PICTURES_DROPPED 7    // value1: pictures of open channels lost since the last (docs/api.md)
#define VKT_EVENT_RECORD_STOPPED 8      // channel; text: the write error
#define VKT_EVENT_RECONNECT_ABANDONED 9 // reconnection ended for good; value1: why (a result code); text

// Why a connection was lost (VKT_EVENT_CONNECTION_LOST value1).
#define VKT_LOST_CLOSED_BY_DEVICE 1  // the device ended the connection
#define VKT_LOST_NETWORK_ERROR 2     // the network failed (reset, unreachable, a send that failed)
#define VKT_LOST_BAD_DATA 3          // the device sent something that is not the protocol

// The device answer code of a login of the wrong device kind
// (VKT_EVENT_LOGIN_REFUSED value2; VKT_OpenServer returns VKT_ERR_LOGIN_FAILED).
#define VKT_ANSWER_WRONG_KIND 3

typedef struct VKT_Event {
  int32_t type;
  int32_t channel;
  int32_t value1;
  int32_t value2;
  const char* text;  // never null; valid only during the callback
} VKT_Event;

// Called on the thread that created the handle, from its message handling
// (the application's message loop, or the loop VKT_OpenServer runs while
// it waits), never from another thread. It may call any SDK function,
// VKT_CloseServer on `handle` included; no event follows that close.
typedef void(VKT_CALL* VKT_EventCallback)(void* handle, const VKT_Event* event, void* user);

// Sets (or with a null callback removes) the handle's event callback.
// VKT_ERR_PARAMETER for a handle that is not live on this thread.
VKT_API int32_t VKT_CALL VKT_SetEventCallback(void* handle, VKT_EventCallback callback, void* user);

// Switches reconnection on (maxDelayMs > 0) or off (0, the default). After
// a loss the handle redials with exponential backoff and jitter, each wait
// at most maxDelayMs, logs in again, reopens the open channels in the same
// windows and, for kind 5200, continues a recording in the same file from
// the stream's next segment header. A refused login ends it.
VKT_API int32_t VKT_CALL VKT_SetReconnect(void* handle, uint32_t maxDelayMs);

#ifdef __cplusplus
}
#endif
