// Session blocks carved page by page from reserved regions and reused only
// after a quarantine: the regions are reserved address space whose pages
// are committed for one session and decommitted (their memory dropped)
// afterwards.
#include "session_memory.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include <windows.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VKT_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VKT_LEAK_CHECKED 1
#endif
#endif
#ifdef VKT_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Reserved at a time; a session takes one or two pages of it.
constexpr size_t kRegionBytes = size_t{16} << 20;

struct ClosedBlock {
  uint8_t* block;
  size_t pages;  // bytes, whole pages
};

// Everything below is guarded by g_regionLock.
std::mutex g_regionLock;
uint8_t* g_next = nullptr;  // first page never handed out in the current region
size_t g_left = 0;          // bytes after g_next in that region
// Closed blocks, oldest first, and the bytes they hold.
std::deque<ClosedBlock>& Quarantine() {
  static auto* quarantine = new std::deque<ClosedBlock>();  // never destroyed: sessions may close at exit
  return *quarantine;
}
size_t g_quarantinedBytes = 0;
// Blocks that left the quarantine, by their size in bytes (sessions come
// in a few sizes only).
struct ReusableBlocks {
  size_t pages;
  std::vector<uint8_t*> blocks;
};
std::vector<uint8_t*>& Reusable(size_t pages) {
  static auto* sizes = new std::vector<ReusableBlocks>();
  for (ReusableBlocks& size : *sizes) {
    if (size.pages == pages) return size.blocks;
  }
  return sizes->emplace_back(ReusableBlocks{pages, {}}).blocks;
}

size_t PageSize() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
#else
  return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
}

size_t RoundToPages(size_t bytes) {
  static const size_t page = PageSize();
  return (bytes + page - 1) / page * page;
}

uint8_t* ReserveRegion() {
  return static_cast<uint8_t*>(VirtualAlloc(nullptr, kRegionBytes, MEM_RESERVE, PAGE_NOACCESS));
}

bool OpenPages(void* at, size_t bytes) { return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr; }

// Decommitted pages give their memory back and fault when touched.
void ClosePages(void* at, size_t bytes) { VirtualFree(at, bytes, MEM_DECOMMIT); }

}  // namespace

void* TakeSessionBlock(size_t bytes) {
  const size_t pages = RoundToPages(bytes);
  if (pages == 0 || pages > kRegionBytes) return nullptr;
  uint8_t* block;
  try {
    std::lock_guard<std::mutex> hold(g_regionLock);
    std::vector<uint8_t*>& reusable = Reusable(pages);
    if (!reusable.empty()) {
      block = reusable.back();
      reusable.pop_back();
    } else {
      if (g_left < pages) {
        // The rest of the old region stays reserved and unused.
        uint8_t* region = ReserveRegion();
        if (!region) return nullptr;
        g_next = region;
        g_left = kRegionBytes;
      }
      block = g_next;
      g_next += pages;
      g_left -= pages;
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!OpenPages(block, pages)) return nullptr;
#ifdef VKT_LEAK_CHECKED
  // What a live session points to is reachable, not leaked.
  __lsan_register_root_region(block, pages);
#endif
  return block;
}

void ReturnSessionBlock(void* block, size_t bytes) {
  if (!block) return;
  const size_t pages = RoundToPages(bytes);
#ifdef VKT_LEAK_CHECKED
  __lsan_unregister_root_region(block, pages);
#endif
  ClosePages(block, pages);
  try {
    std::lock_guard<std::mutex> hold(g_regionLock);
    Quarantine().push_back(ClosedBlock{static_cast<uint8_t*>(block), pages});
    g_quarantinedBytes += pages;
    while (g_quarantinedBytes > kQuarantineBytes) {
      const ClosedBlock oldest = Quarantine().front();
      Reusable(oldest.pages).push_back(oldest.block);
      Quarantine().pop_front();
      g_quarantinedBytes -= oldest.pages;
    }
  } catch (const std::bad_alloc&) {
    // Without room to remember it the block is never reused: only its
    // address space is lost.
  }
}
