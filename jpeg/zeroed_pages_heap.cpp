// Large zeroed allocations (zeroed_pages.h) on systems without huge pages
// on request: the heap's zeroed memory. Linux builds zeroed_pages_linux.cpp.
#include "zeroed_pages.h"

#include <cstdlib>

void* allocate_zeroed_pages(size_t bytes) { return std::calloc(bytes, 1); }
void free_zeroed_pages(void* pages, size_t) { std::free(pages); }
