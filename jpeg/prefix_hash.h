// A fast 64-bit hash of a stream's first bytes, taken in steps: the resume
// table keeps, for each entry, the hash of every byte before the entry's
// offset, so that an entry is only used on the bytes it was recorded from.
//
// Four independent multiply-rotate lanes over 32-byte blocks keep several
// multiplications in flight, so hashing runs near memory speed (well over
// ten times faster than decoding the same bytes). It is not a
// cryptographic hash: it guards against a caller's changed buffer, not
// against an adversary (who controls the stream anyway).
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes taken by one step of the lanes.
constexpr size_t kPrefixHashBlock = 32;

// The state after whole blocks of a stream's first bytes.
struct PrefixHash {
  uint64_t lanes[4];
  int64_t absorbed;  // bytes taken so far, a multiple of kPrefixHashBlock
};

// The state before any byte.
PrefixHash prefix_hash_start();

// Takes `count` bytes (a multiple of kPrefixHashBlock) after those taken.
void prefix_hash_blocks(PrefixHash& hash, const uint8_t* bytes, size_t count);

// The hash of the bytes taken followed by `tail` (fewer than
// kPrefixHashBlock bytes); `hash` itself is unchanged, so that it can go
// on to later blocks.
uint64_t prefix_hash_digest(const PrefixHash& hash, const uint8_t* tail, size_t tail_count);

// The hash of `count` bytes at once.
uint64_t hash_bytes(const uint8_t* bytes, size_t count);
