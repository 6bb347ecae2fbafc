// The connection objects of one transport library behind opaque handles.
// Handles are never reused, and every call looks its handle up, so a stale
// or foreign handle is refused instead of touching freed memory. A call in
// progress keeps its connection alive even if another thread destroys the
// handle meanwhile.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "connection.h"

namespace vkt::transport {

class HandleRegistry {
 public:
  void* add(std::shared_ptr<Connection> connection);
  std::shared_ptr<Connection> find(void* handle) const;
  std::shared_ptr<Connection> remove(void* handle);
  std::vector<std::shared_ptr<Connection>> all() const;

 private:
  mutable std::mutex mutex_;
  uintptr_t lastHandle_ = 0;
  std::map<uintptr_t, std::shared_ptr<Connection>> connections_;
};

}  // namespace vkt::transport
