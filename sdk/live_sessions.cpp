// Live handle registry: a map from session address to its block size and
// the number of calls holding it, under one mutex that is never held while
// a session runs or is destroyed.
#include "live_sessions.h"

#include <mutex>
#include <unordered_map>

namespace {

struct LiveEntry {
  size_t blockBytes;
  unsigned holders;
  bool closing;
};

std::mutex g_liveLock;

std::unordered_map<const DeviceSession*, LiveEntry>& LiveTable() {
  // Never destroyed: calls may still arrive while the process unloads.
  static auto* table = new std::unordered_map<const DeviceSession*, LiveEntry>();
  return *table;
}

void DestroySession(DeviceSession* session, size_t blockBytes) {
  // Closed while the object is whole: a kind-5200 session's decoding thread
  // ends here, before the destructors change what the object is.
  session->Close();
  session->~DeviceSession();
  ReturnSessionBlock(session, blockBytes);
}

}  // namespace

bool RegisterLiveSession(DeviceSession* session, size_t blockBytes) {
  try {
    std::lock_guard<std::mutex> hold(g_liveLock);
    LiveTable().emplace(session, LiveEntry{blockBytes, 0, false});
    return true;
  } catch (const std::bad_alloc&) {
    DestroySession(session, blockBytes);
    return false;
  }
}

SessionRef PinLiveSession(void* handle) {
  std::lock_guard<std::mutex> hold(g_liveLock);
  const auto found = LiveTable().find(static_cast<const DeviceSession*>(handle));
  if (found == LiveTable().end() || found->second.closing) return SessionRef();
  ++found->second.holders;
  return SessionRef(static_cast<DeviceSession*>(handle));
}

void CloseLiveSession(const SessionRef& session) {
  std::lock_guard<std::mutex> hold(g_liveLock);
  const auto found = LiveTable().find(session.get());
  if (found != LiveTable().end()) found->second.closing = true;
}

SessionRef& SessionRef::operator=(SessionRef&& other) noexcept {
  if (this != &other) {
    Release();
    session_ = other.session_;
    other.session_ = nullptr;
  }
  return *this;
}

void SessionRef::Release() {
  if (!session_) return;
  size_t blockBytes = 0;
  bool destroy = false;
  {
    std::lock_guard<std::mutex> hold(g_liveLock);
    const auto found = LiveTable().find(session_);
    if (found != LiveTable().end() && --found->second.holders == 0 && found->second.closing) {
      blockBytes = found->second.blockBytes;
      LiveTable().erase(found);
      destroy = true;
    }
  }
  if (destroy) DestroySession(session_, blockBytes);
  session_ = nullptr;
}
