// Finding the session behind a handle an application passes to an exported
// function: shared by every export that takes a handle.
#pragma once
#include "live_sessions.h"

// The session behind a handle, held for the call; empty when the handle is
// null, unreadable, lacks the magic or is not a live handle (closed, or a
// block that merely carries the magic), or when the caller is not on the
// handle's own thread (the session's window and waits belong to that
// thread; see docs/sessions.md). `call` names the export in the debug line
// of a refused thread.
SessionRef SessionOf(void* handle, const char* call = __builtin_FUNCTION());
