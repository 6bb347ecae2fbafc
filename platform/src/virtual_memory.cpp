// VirtualAlloc / VirtualFree over mmap: a reservation is a PROT_NONE
// mapping, committing opens pages of it read-write, decommitting drops
// their memory and closes them again. Win32 frees a reservation by its
// base alone, so the reservations' sizes are kept here.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <mutex>

#include <windows.h>

namespace {

std::mutex g_lock;
// Reservation base -> size in bytes, whole pages; guarded by g_lock.
std::map<uintptr_t, size_t>& Reservations() {
  static auto* reservations = new std::map<uintptr_t, size_t>();  // never destroyed: memory may be freed at exit
  return *reservations;
}

size_t PageSize() {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

// The reservation holding [at, at + bytes), or end().
std::map<uintptr_t, size_t>::iterator Holding(uintptr_t at, size_t bytes) {
  auto& reservations = Reservations();
  auto it = reservations.upper_bound(at);
  if (it == reservations.begin()) return reservations.end();
  --it;
  const bool inside = at - it->first <= it->second && bytes <= it->second - (at - it->first);
  return inside ? it : reservations.end();
}

LPVOID Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

}  // namespace

WINAPI_EXPORT LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
  const bool reserve = allocationType & MEM_RESERVE;
  const bool commit = allocationType & MEM_COMMIT;
  if (size == 0 || (!reserve && !commit) || (allocationType & ~(MEM_RESERVE | MEM_COMMIT)) ||
      (protect != PAGE_READWRITE && protect != PAGE_NOACCESS) || (commit && protect != PAGE_READWRITE))
    return Fail(ERROR_INVALID_PARAMETER);
  const size_t page = PageSize();
  if (size > SIZE_MAX - page) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  std::lock_guard<std::mutex> hold(g_lock);
  // A commit without an address reserves too, as on Windows.
  if (reserve || !address) {
    if (address) return Fail(ERROR_INVALID_PARAMETER);  // placed reservations are not needed here
    const size_t bytes = (size + page - 1) / page * page;
    void* region = mmap(nullptr, bytes, commit ? PROT_READ | PROT_WRITE : PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (region == MAP_FAILED) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    try {
      Reservations()[reinterpret_cast<uintptr_t>(region)] = bytes;
    } catch (...) {
      munmap(region, bytes);
      return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return region;
  }
  // Committing pages of an existing reservation: whole pages around the range.
  const uintptr_t first = reinterpret_cast<uintptr_t>(address) / page * page;
  const uintptr_t end = reinterpret_cast<uintptr_t>(address) + size;
  if (end < first) return Fail(ERROR_INVALID_ADDRESS);
  const size_t bytes = (end - first + page - 1) / page * page;
  if (Holding(first, bytes) == Reservations().end()) return Fail(ERROR_INVALID_ADDRESS);
  if (mprotect(reinterpret_cast<void*>(first), bytes, PROT_READ | PROT_WRITE) != 0)
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  return reinterpret_cast<LPVOID>(first);
}

WINAPI_EXPORT BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(address);
  std::lock_guard<std::mutex> hold(g_lock);
  auto& reservations = Reservations();
  if (freeType == MEM_RELEASE) {
    const auto it = reservations.find(at);
    if (size != 0 || it == reservations.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    munmap(address, it->second);
    reservations.erase(it);
    return TRUE;
  }
  const size_t page = PageSize();
  const uintptr_t first = at / page * page;
  const auto held = address && size != 0 && at + size > at ? Holding(first, at + size - first) : reservations.end();
  if (freeType != MEM_DECOMMIT || held == reservations.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const size_t bytes = std::min((at + size - first + page - 1) / page * page, held->first + held->second - first);
  madvise(reinterpret_cast<void*>(first), bytes, MADV_DONTNEED);
  mprotect(reinterpret_cast<void*>(first), bytes, PROT_NONE);
  return TRUE;
}
