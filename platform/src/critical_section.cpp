// Critical sections: a recursive mutex placed inside the caller's
// CRITICAL_SECTION storage.
#include <mutex>
#include <new>

#include <windows.h>

namespace {

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

std::recursive_mutex& MutexOf(LPCRITICAL_SECTION section) {
  return *std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

}  // namespace

extern "C" {

WINAPI_EXPORT void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  new (section->opaque) std::recursive_mutex;
}

WINAPI_EXPORT void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) { MutexOf(section).lock(); }

WINAPI_EXPORT void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) { MutexOf(section).unlock(); }

WINAPI_EXPORT void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  MutexOf(section).~recursive_mutex();
}
}
