// Stand-ins for the two transport libraries and the video decoding library
// in the session fuzz target. They are defined in the target itself, so
// the SDK's calls bind to them instead of the real libraries: connecting
// and logging in succeed at once through the messages a device would
// cause, and every "decoded" picture is made from the bytes handed in.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

namespace session_fuzz {

// Posts a notification (packet type and payload) to `window` as the
// transport of `kind` would, with the zero tail the transports put after
// every payload. The record lives until ReleaseRecords.
void PostNotification(HWND window, int kind, uint16_t type, const uint8_t* payload, uint32_t length);
// Send a notification or a data block the same way (the window procedure
// runs before the call returns).
void SendNotification(HWND window, int kind, uint16_t type, const uint8_t* payload, uint32_t length);
void SendDataBlock(HWND window, int kind, const uint8_t* data, uint32_t length);
// Frees every record made since the last call; the queue must be empty.
void ReleaseRecords();

}  // namespace session_fuzz
