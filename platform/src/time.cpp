// Clocks, sleeping and thread ids: timeGetTime, GetTickCount, GetLocalTime,
// Sleep, GetCurrentThreadId.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <windows.h>

namespace {

// Milliseconds of the monotonic clock, wrapping at 32 bits like Windows'.
DWORD MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

}  // namespace

extern "C" {

WINAPI_EXPORT DWORD WINAPI timeGetTime(void) { return MonotonicMilliseconds(); }

WINAPI_EXPORT DWORD WINAPI GetTickCount(void) { return MonotonicMilliseconds(); }

WINAPI_EXPORT void WINAPI GetLocalTime(LPSYSTEMTIME time) {
  if (!time) return;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm local;
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);  // no leap second in SYSTEMTIME
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

WINAPI_EXPORT void WINAPI Sleep(DWORD milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0) {
  }
}

WINAPI_EXPORT DWORD WINAPI GetCurrentThreadId(void) {
  thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}
}
