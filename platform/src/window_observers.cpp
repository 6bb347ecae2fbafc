// Window snapshots and change observers for a native display backend.
#include "platform_state.h"

namespace platform {

PlatformWindowInfo SnapshotLocked(const WindowState& window) {
  PlatformWindowInfo info{window.handle, window.parent, window.owner->threadId, window.x, window.y,
                          window.width,  window.height, window.visible,         {}};
  window.title.copy(info.title, sizeof info.title - 1);
  return info;
}

void NotifyObservers(PlatformWindowChange change, const PlatformWindowInfo& info) {
  std::vector<ObserverEntry> observers;
  {
    std::lock_guard lock(GlobalState().mutex);
    observers = GlobalState().observers;
  }
  for (const ObserverEntry& entry : observers) entry.observer(change, info, entry.context);
}

}  // namespace platform

using namespace platform;

bool PlatformGetWindowInfo(HWND window, PlatformWindowInfo* info) {
  std::lock_guard lock(GlobalState().mutex);
  WindowState* state = FindWindowLocked(window);
  if (!state || !info) return false;
  *info = SnapshotLocked(*state);
  return true;
}

int PlatformAddWindowObserver(PlatformWindowObserver observer, void* context) {
  State& state = GlobalState();
  std::lock_guard lock(state.mutex);
  int id = state.nextObserverId++;
  state.observers.push_back({id, observer, context});
  return id;
}

void PlatformRemoveWindowObserver(int id) {
  State& state = GlobalState();
  std::lock_guard lock(state.mutex);
  std::erase_if(state.observers, [id](const ObserverEntry& entry) { return entry.id == id; });
}
