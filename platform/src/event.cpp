// CreateEventA, SetEvent and ResetEvent. Setting an event wakes every
// thread waiting on it; an auto-reset event's signal is taken by the first
// waiter that sees it.
#include "event_object.h"

using namespace platform;

extern "C" {

WINAPI_EXPORT HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
  auto event = std::make_shared<EventObject>();
  event->state.manualReset = manualReset != FALSE;
  event->state.signalled = initialState != FALSE;
  return AddKernelHandle(std::move(event));
}

WINAPI_EXPORT BOOL WINAPI SetEvent(HANDLE handle) {
  std::shared_ptr<EventObject> event = FindKernelHandleAs<EventObject>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(GlobalState().mutex);
  event->state.signalled = true;
  for (ThreadQueue* waiter : event->state.waiters) waiter->wake.notify_all();
  return TRUE;
}

WINAPI_EXPORT BOOL WINAPI ResetEvent(HANDLE handle) {
  std::shared_ptr<EventObject> event = FindKernelHandleAs<EventObject>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(GlobalState().mutex);
  event->state.signalled = false;
  return TRUE;
}
}
