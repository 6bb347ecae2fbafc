// The subset of the Win32 API that this system uses, for POSIX hosts.
//
// The SDK, the transports and the tools are written against the Win32 names.
// On Windows they come from the system headers; elsewhere this umbrella header
// declares them and libvktplatform.so implements them with Win32's observable
// semantics (per-thread message queues, sent messages, timers, events, ...).
#pragma once
#ifdef _WIN32
#include_next <windows.h>
// The 16-bit pointer qualifiers are empty macros there, and would swallow
// ordinary names such as "near" in the shared code.
#undef near
#undef far
#include "win32/post_release.h"
#else
#include "win32/base.h"
#include "win32/kernel.h"
#include "win32/user.h"
#include "win32/gdi.h"
#include "win32/registry.h"
#endif
