// The process-wide table of the windows open channels draw into (see the
// header). A handful of entries at most, one per open channel, under one
// lock that is never held across a call out of this file.
#include "channel_windows.h"

#include <map>
#include <mutex>

#include "debug_line.h"

namespace {

struct Table {
  std::mutex lock;
  std::map<HWND, ChannelWindowOwner> owners;
};

// Never destroyed: sessions still closing at process exit reach it.
Table& Windows() {
  static Table* table = new Table;
  return *table;
}

// With the lock held.
void EraseChannel(Table& table, const void* session, uint32_t channel) {
  std::erase_if(table.owners, [&](const auto& entry) {
    return entry.second.session == session && entry.second.channel == channel;
  });
}

}  // namespace

ChannelWindowOwner ChannelDrawingInto(HWND window) {
  Table& table = Windows();
  std::lock_guard hold(table.lock);
  const auto at = table.owners.find(window);
  return at == table.owners.end() ? ChannelWindowOwner{} : at->second;
}

bool WindowFreeForChannel(const void* session, uint32_t channel, HWND window, const char* call) {
  if (!window) return true;
  const ChannelWindowOwner owner = ChannelDrawingInto(window);
  if (!owner.session || (owner.session == session && owner.channel == channel)) return true;
  SdkDebugLine("%s refused: channel %u of handle %p already draws into window %p", call,
               static_cast<unsigned>(owner.channel), owner.session, static_cast<void*>(window));
  return false;
}

void ClaimChannelWindow(const void* session, uint32_t channel, HWND window) {
  Table& table = Windows();
  std::lock_guard hold(table.lock);
  EraseChannel(table, session, channel);
  if (window) table.owners[window] = ChannelWindowOwner{session, channel};
}

void ReleaseChannelWindow(const void* session, uint32_t channel) {
  Table& table = Windows();
  std::lock_guard hold(table.lock);
  EraseChannel(table, session, channel);
}

void ReleaseSessionWindows(const void* session) {
  Table& table = Windows();
  std::lock_guard hold(table.lock);
  std::erase_if(table.owners, [session](const auto& entry) { return entry.second.session == session; });
}
