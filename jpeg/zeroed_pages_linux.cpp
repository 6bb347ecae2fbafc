// Large zeroed allocations (zeroed_pages.h), Linux: an anonymous mapping
// aligned to 2 MiB and marked for huge pages (transparent huge pages in
// "madvise" mode give them only on this request); below the size where
// huge pages pay, calloc. Other systems build zeroed_pages_heap.cpp.
#include "zeroed_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below this a buffer takes a few hundred small faults at most and the
// heap (which may hand back memory it already has) serves it better.
constexpr size_t kMappedFrom = 2 * kHugePage;

size_t mapped_bytes(size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* allocate_zeroed_pages(size_t bytes) {
  if (bytes < kMappedFrom) return std::calloc(bytes, 1);
  if (bytes > SIZE_MAX - 2 * kHugePage) return nullptr;
  const size_t mapped = mapped_bytes(bytes);
  // One huge page more than needed, so an aligned start lies inside; the
  // slack on both sides goes back at once.
  void* region = mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(region);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(region, aligned - start);
  const size_t tail = kHugePage - (aligned - start);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + mapped), tail);
  // Advice only: without huge pages the mapping still works, page by page.
  madvise(reinterpret_cast<void*>(aligned), mapped, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void free_zeroed_pages(void* pages, size_t bytes) {
  if (pages == nullptr) return;
  if (bytes < kMappedFrom) {
    std::free(pages);
    return;
  }
  munmap(pages, mapped_bytes(bytes));
}
