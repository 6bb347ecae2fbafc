// GetLastError / SetLastError: one error code per thread, as on Windows.
#include <windows.h>

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" {

WINAPI_EXPORT DWORD WINAPI GetLastError(void) { return lastError; }

WINAPI_EXPORT void WINAPI SetLastError(DWORD code) { lastError = code; }
}
