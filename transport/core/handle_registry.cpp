// Handle table of a transport library.
#include "handle_registry.h"

namespace vkt::transport {

void* HandleRegistry::add(std::shared_ptr<Connection> connection) {
  std::lock_guard lock(mutex_);
  const uintptr_t handle = ++lastHandle_;
  connections_.emplace(handle, std::move(connection));
  return reinterpret_cast<void*>(handle);
}

std::shared_ptr<Connection> HandleRegistry::find(void* handle) const {
  std::lock_guard lock(mutex_);
  const auto found = connections_.find(reinterpret_cast<uintptr_t>(handle));
  return found == connections_.end() ? nullptr : found->second;
}

std::shared_ptr<Connection> HandleRegistry::remove(void* handle) {
  std::lock_guard lock(mutex_);
  const auto found = connections_.find(reinterpret_cast<uintptr_t>(handle));
  if (found == connections_.end()) return nullptr;
  std::shared_ptr<Connection> connection = std::move(found->second);
  connections_.erase(found);
  return connection;
}

std::vector<std::shared_ptr<Connection>> HandleRegistry::all() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<Connection>> connections;
  for (const auto& entry : connections_) connections.push_back(entry.second);
  return connections;
}

}  // namespace vkt::transport
