// Kernel handle table and CloseHandle.
#include "kernel_handles.h"

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 0x1000;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // outlives every thread
  return *table;
}

}  // namespace

HANDLE AddKernelHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  uintptr_t id = table.next;
  table.next += 4;
  table.objects.emplace(id, std::move(object));
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<KernelObject> FindKernelHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == table.objects.end() ? nullptr : it->second;
}

bool RemoveKernelHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> removed;  // destroyed after the lock is released
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.objects.end()) return false;
  removed = std::move(it->second);
  table.objects.erase(it);
  return true;
}

}  // namespace platform

extern "C" WINAPI_EXPORT BOOL WINAPI CloseHandle(HANDLE handle) {
  if (platform::RemoveKernelHandle(handle)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
