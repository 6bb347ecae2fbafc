// GetCurrentProcess and GetProcessTimes: the CPU time this process has used,
// from getrusage, for tools that show their own load.
#include <sys/resource.h>

#include <windows.h>

namespace {

// The pseudo handle Windows gives for the current process.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

FILETIME HundredNanoseconds(const timeval& time) {
  const uint64_t units = static_cast<uint64_t>(time.tv_sec) * 10000000u + static_cast<uint64_t>(time.tv_usec) * 10u;
  return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

}  // namespace

extern "C" {

WINAPI_EXPORT HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }

WINAPI_EXPORT BOOL WINAPI GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel,
                                          LPFILETIME user) {
  rusage usage;
  if (process != kCurrentProcess || !creation || !exit || !kernel || !user || getrusage(RUSAGE_SELF, &usage) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *creation = FILETIME{0, 0};
  *exit = FILETIME{0, 0};
  *kernel = HundredNanoseconds(usage.ru_stime);
  *user = HundredNanoseconds(usage.ru_utime);
  return TRUE;
}
}
