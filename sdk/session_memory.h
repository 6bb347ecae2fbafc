// Memory for session objects at addresses that are never handed out twice.
//
// A handle is the address of its session. If a closed session's memory
// went back to the heap, the next session could be built at the same
// address and a stale handle would reach that live session. Each session
// therefore gets whole pages of its own from reserved address space: when
// it is released the pages are given back to the system but stay reserved
// and unreadable, so a stale handle fails the readability check and never
// matches a newer session. Only address space is spent per closed session.
#pragma once
#include <cstddef>

// Readable, writable and zero-filled memory for one session of `bytes`;
// null when address space or memory ran out.
void* TakeSessionBlock(size_t bytes);
// Returns the pages of a block taken with the same `bytes`; afterwards
// they cannot be read.
void ReturnSessionBlock(void* block, size_t bytes);
