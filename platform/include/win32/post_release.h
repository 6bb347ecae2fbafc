// Posting a message whose record is handed back once the receiver is done
// with it: the transports post heap records and must learn when to free
// them. Declared for both hosts; on POSIX libvktplatform implements it
// inside its message queues, on Windows platform/win32 implements it over
// a thread message and a message hook (see post_release_win32.cpp).
#pragma once
#ifndef WINAPI_EXPORT
#define WINAPI_EXPORT  // Windows: linked statically into each library
#endif

// Posts like PostMessageA and hands the record behind the message back
// through release(context) exactly once: right after DispatchMessageA of the
// message returns; or, if the message was retrieved (GetMessageA,
// PeekMessageA with PM_REMOVE) but not dispatched, at the thread's next
// GetMessageA or PeekMessageA call or at its exit; or when the message is
// discarded because its window is destroyed or its thread exits. release may
// therefore run on the owner thread or, for discards, on the thread that
// destroys the window. On FALSE release is not called and the caller keeps
// the record. On Windows the record of a message still queued when its
// thread exits is never handed back: leaked, never freed early.
typedef void (*PlatformReleaseProc)(void* context);
EXTERN_C WINAPI_EXPORT BOOL PlatformPostMessageWithRelease(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                         PlatformReleaseProc release, void* context);
