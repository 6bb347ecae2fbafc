// Handle validation for the exported functions (see the header).
#include "handle_lookup.h"

#include <cstring>

#include "debug_line.h"
#include "picture_callback.h"

namespace {

// The bytes of a session object that validation requires to be readable,
// the same for both kinds.
constexpr UINT_PTR kCheckedSessionBytes = 328;
// The magic is the field right after the table of virtual operations.
constexpr size_t kMagicOffset = sizeof(void*);

}  // namespace

SessionRef SessionOf(void* handle, const char* call) {
  // Refused before the handle is pinned: a callback's pin could otherwise
  // be the last one on a handle closed meanwhile, and destroy the session
  // on the very thread its closing waits for.
  if (InsidePictureCallback()) {
    SdkDebugLine("%s refused: called from a picture callback", call);
    return SessionRef();
  }
  if (!handle || IsBadReadPtr(handle, kCheckedSessionBytes)) return SessionRef();
  // Pinned before its bytes are read: another thread may close the handle
  // between the probe and the read, and only a pinned session's pages are
  // sure to stay committed. Pinning looks the address up, reading nothing.
  SessionRef session = PinLiveSession(handle);
  if (!session) return SessionRef();
  // Read as plain bytes: until the magic matches, this is no object at all.
  uint32_t magic = 0;
  std::memcpy(&magic, static_cast<const uint8_t*>(handle) + kMagicOffset, sizeof magic);
  if (magic != SESSION_MAGIC || !session->CalledOnOwnerThread(call)) return SessionRef();
  return session;
}
