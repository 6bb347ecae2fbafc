// The shared --help / --version / usage-error handling of the tools.
#include "tool_usage.h"

#include <cstdio>
#include <cstring>

namespace vkt::tools {

const char* projectVersion() { return VKT_PROJECT_VERSION; }

std::optional<int> answerStandardOptions(const ToolUsage& tool, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(tool.usage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", tool.program, projectVersion());
      return 0;
    }
  }
  return std::nullopt;
}

int usageError(const ToolUsage& tool, std::string_view reason) {
  std::fprintf(stderr, "%s: %.*s\n%s", tool.program, static_cast<int>(reason.size()), reason.data(), tool.usage);
  return kExitUsage;
}

}  // namespace vkt::tools
