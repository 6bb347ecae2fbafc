// Large zeroed allocations (the whole-image coefficient buffer). Faulting
// in a fresh mapping page by page costs far more than the decoding that
// first touches it (tens of thousands of faults for a 5120x2880 picture),
// so large buffers are mapped on 2 MiB pages where the system offers them
// on request; small ones come from the heap.
#pragma once
#include <cstddef>

// `bytes` zeroed bytes, or null; give them back with free_zeroed_pages
// and the same size.
void* allocate_zeroed_pages(size_t bytes);
void free_zeroed_pages(void* pages, size_t bytes);
