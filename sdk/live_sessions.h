// The registry of live handles: every session that VKT_CreateHandle gave
// out and VKT_CloseServer has not yet closed. The exported functions look a
// handle up here after their own checks, so a closed handle, or a forged
// block that carries the magic, is refused instead of being used as a
// session.
//
// A call holds a SessionRef for as long as it runs; the registry's lock is
// taken only to look up and to count, never while a session operation
// runs. Closing a session that another call still holds (a call on another
// thread, or one that dispatches the message that closes it) only takes it
// out of the registry; the last SessionRef destroys it.
#pragma once
#include <cstddef>
#include <new>

#include "device_session.h"
#include "session_memory.h"

class SessionRef {
 public:
  SessionRef() = default;
  ~SessionRef() { Release(); }
  SessionRef(SessionRef&& other) noexcept : session_(other.session_) { other.session_ = nullptr; }
  SessionRef& operator=(SessionRef&& other) noexcept;
  SessionRef(const SessionRef&) = delete;
  SessionRef& operator=(const SessionRef&) = delete;

  explicit operator bool() const { return session_ != nullptr; }
  DeviceSession* operator->() const { return session_; }
  DeviceSession* get() const { return session_; }

 private:
  friend SessionRef PinLiveSession(void* handle);
  explicit SessionRef(DeviceSession* session) : session_(session) {}
  void Release();

  DeviceSession* session_ = nullptr;
};

// Enters a session built in a block of session memory; false (and the
// session is destroyed) when the registry cannot grow.
bool RegisterLiveSession(DeviceSession* session, size_t blockBytes);

// Builds a session of class Kind in its own session memory and registers
// it; null when memory ran out.
template <class Kind>
DeviceSession* CreateLiveSession() {
  void* block = TakeSessionBlock(sizeof(Kind));
  if (!block) return nullptr;
  DeviceSession* session = new (block) Kind();
  return RegisterLiveSession(session, sizeof(Kind)) ? session : nullptr;
}

// The live session at `handle`, held until the SessionRef goes; empty when
// `handle` is not a live handle.
SessionRef PinLiveSession(void* handle);

// Takes the held session out of the registry: no later lookup finds it,
// and it is destroyed once the last SessionRef on it is released.
void CloseLiveSession(const SessionRef& session);
