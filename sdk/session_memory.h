// Memory for session objects at addresses that are not handed out again
// until many newer sessions have come and gone.
//
// A handle is the address of its session. If a closed session's memory
// went straight back to the heap, the next session could be built at the
// same address and a stale handle would reach that live session. Each
// session therefore gets whole pages of its own from reserved address
// space: when it is released the pages are given back to the system but
// stay reserved and unreadable, so a stale handle fails the readability
// check. Those pages wait in a quarantine that holds the most recently
// closed blocks (kQuarantineBytes of them); only the oldest block that
// leaves it is reused, so the address space stays bounded however many
// handles a long-running process makes.
#pragma once
#include <cstddef>

// Address space held by closed session blocks before the oldest is reused:
// at least a few thousand handles (a session takes one or two pages).
inline constexpr size_t kQuarantineBytes = size_t{16} << 20;

// Readable, writable and zero-filled memory for one session of `bytes`;
// null when address space or memory ran out.
void* TakeSessionBlock(size_t bytes);
// Returns the pages of a block taken with the same `bytes`; afterwards
// they cannot be read, and no new session is placed there until
// kQuarantineBytes of blocks have been returned after it.
void ReturnSessionBlock(void* block, size_t bytes);
