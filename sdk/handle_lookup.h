// From an application's handle to the live session behind it, shared by
// every exported function: the handle is checked to be readable, to carry
// the magic, to be live, and to be used on its own thread.
#pragma once
#include "live_sessions.h"

// The session behind a handle, held for the call; empty when the handle is
// null, unreadable, lacks the magic or is not a live handle (closed, or a
// block that merely carries the magic), or when the caller is not on the
// handle's own thread (the session's window and waits belong to that
// thread; see docs/sessions.md), or when it runs a picture callback.
SessionRef SessionOf(void* handle, const char* call = __builtin_FUNCTION());
