// Winsock sockets as the transports carry them: int descriptors, as on
// POSIX. A SOCKET is a kernel handle, and 64-bit Windows keeps handle
// values to 32 significant bits so that they pass between 32-bit and 64-bit
// code truncated one way and sign-extended the other: a valid socket fits
// an int, and -1 widens back to INVALID_SOCKET on both architectures.
#pragma once
#include <winsock2.h>

#include <cstdint>

namespace vkt::wire {

inline SOCKET nativeSocket(int socket) { return static_cast<SOCKET>(static_cast<intptr_t>(socket)); }

}  // namespace vkt::wire
