// vkt-handle-cycles: how the process's address space grows over many
// VKT_CreateHandle/VKT_CloseServer cycles, and how fast they run. Each
// closed handle is passed again and must be refused.
//   vkt-handle-cycles [CYCLES] [KIND]   (defaults: 1000000 cycles, kind 7100)
// Exit status 1 when a closed handle was accepted.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "vkt7100sdk.h"

namespace {

// VmSize of /proc/self/status in KiB; 0 when it cannot be read.
long AddressSpaceKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmSize:", 0) == 0) return std::strtol(line.c_str() + 7, nullptr, 10);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const long cycles = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
  const int32_t kind = argc > 2 ? static_cast<int32_t>(std::strtol(argv[2], nullptr, 10)) : VKT_KIND_JPEG;
  const long before = AddressSpaceKib();
  long accepted = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < cycles; ++i) {
    void* handle = nullptr;
    if (VKT_CreateHandle(kind, &handle) != VKT_OK) {
      std::fprintf(stderr, "VKT_CreateHandle failed at cycle %ld\n", i);
      return 2;
    }
    VKT_CloseServer(handle);
    if (VKT_CloseServer(handle) != VKT_ERR_PARAMETER) ++accepted;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%ld cycles of kind %d in %.1f s (%.0f per second): address space %+ld KiB, %ld closed handles accepted\n",
              cycles, kind, seconds, cycles / seconds, AddressSpaceKib() - before, accepted);
  return accepted ? 1 : 0;
}
