// The handle table shared by the decoding libraries' entry points.
#include "decoder_table.h"

#include <mutex>

namespace codec {
namespace {
std::mutex g_lock;
void* g_objects[kMaxDecoders] = {};
}  // namespace

int32_t AddDecoder(void* object) {
  std::lock_guard<std::mutex> hold(g_lock);
  for (int32_t i = 0; i < kMaxDecoders; ++i) {
    if (!g_objects[i]) {
      g_objects[i] = object;
      return i + 1;
    }
  }
  return -1;
}

void* FindDecoder(int32_t handle) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (handle < 1 || handle > kMaxDecoders) return nullptr;
  return g_objects[handle - 1];
}

void* RemoveDecoder(int32_t handle) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (handle < 1 || handle > kMaxDecoders) return nullptr;
  void* object = g_objects[handle - 1];
  g_objects[handle - 1] = nullptr;
  return object;
}

}  // namespace codec
