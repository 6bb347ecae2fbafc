// The table behind kernel HANDLEs (events and files). Handles are
// increasing numbers, never reused, so CloseHandle and the other calls
// recognise stale and foreign values instead of touching freed objects.
#pragma once
#include <windows.h>

#include <memory>

namespace platform {

struct KernelObject {
  virtual ~KernelObject() = default;
};

HANDLE AddKernelHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindKernelHandle(HANDLE handle);
// Removes the handle; the object lives on while someone still uses it.
bool RemoveKernelHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> FindKernelHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(FindKernelHandle(handle));
}

}  // namespace platform
