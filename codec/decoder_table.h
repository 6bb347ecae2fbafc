// Integer handles for decoder objects, as the CODECAPI_ calls pass them:
// 1 to kMaxDecoders, never reused while open. Thread-safe.
#pragma once
#include <cstdint>


namespace codec {

constexpr int32_t kMaxDecoders = 64;

// Stores `object` and returns its handle, or -1 when the table is full.
int32_t AddDecoder(void* object);
// The object of a handle, or null; the object stays in the table.
void* FindDecoder(int32_t handle);
// Removes the handle and returns its object (null for an unknown handle).
void* RemoveDecoder(int32_t handle);

}  // namespace codec
