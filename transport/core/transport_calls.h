// The behaviour behind the exported functions, shared by both libraries:
// each library's table is a list of one-line calls into these with its
// own profile. Handles index the library's own registry.
#pragma once
#include <windows.h>

#include <cstdint>

#include "posted_record.h"

#define TRANSPORT_EXPORT __attribute__((visibility("default")))

namespace vkt::transport {

void* createConnection(HWND window, const TransportProfile& profile);
int32_t connectConnection(void* handle, const void* connectRecord);
int32_t sendOnConnection(void* handle, uint16_t type, const uint8_t* payload, uint32_t length);
int32_t sendInitPacket(void* handle);
void disconnectConnection(void* handle);
void destroyConnection(void* handle);
// Disconnects every connection of the library (its handles stay valid).
void disconnectAllConnections();

}  // namespace vkt::transport
