// Class lookup shared by window creation.
#pragma once
#include <windows.h>

namespace platform {

// The window procedure of a registered class (by name or atom), or null.
// Requires GlobalState().mutex.
WNDPROC FindClassProcLocked(LPCSTR className);

}  // namespace platform
