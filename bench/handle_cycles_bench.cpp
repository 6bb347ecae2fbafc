// vkt-handle-cycles: how the process's address space grows over many
// VKT_CreateHandle/VKT_CloseServer cycles, and how fast they run. Each
// closed handle is passed again and must be refused.
//   vkt-handle-cycles [CYCLES] [KIND]   (defaults: 1000000 cycles, kind 7100)
// Exit status 1 when a closed handle was accepted, 2 for a bad command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "common/parse_number.h"
#include "common/tool_usage.h"
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

const vkt::tools::ToolUsage kHandleCycles = {
    "vkt-handle-cycles",
    "usage: vkt-handle-cycles [CYCLES] [KIND]\n"
    "CYCLES: 1 to 1000000000 (1000000 by default); KIND: 5200 or 7100 (7100 by default).\n"};

}  // namespace

int main(int argc, char** argv) {
  if (const auto status = vkt::tools::answerStandardOptions(kHandleCycles, argc, argv)) return *status;
  long cycles = 1000000;
  int32_t kind = VKT_KIND_JPEG;
  if (argc > 3) return vkt::tools::usageError(kHandleCycles, "too many arguments");
  if (argc > 1 && !vkt::tools::parseNumber(std::string_view(argv[1]), 1L, 1000000000L, cycles))
    return vkt::tools::usageError(kHandleCycles, "bad cycle count " + std::string(argv[1]));
  if (argc > 2 && !(vkt::tools::parseNumber(std::string_view(argv[2]), 5200, 7100, kind) &&
                    (kind == VKT_KIND_H264 || kind == VKT_KIND_JPEG)))
    return vkt::tools::usageError(kHandleCycles, "bad kind " + std::string(argv[2]));
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
