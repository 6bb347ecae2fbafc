// The command-line conventions every tool shares: --help (or -h) prints the
// usage on standard output and exits 0, --version prints the project's
// version and exits 0, and a usage error prints the reason and the usage on
// standard error and exits 2. One place, so that the tools cannot drift
// apart and the version has one source (the project version in CMake).
#pragma once
#include <optional>
#include <string_view>

namespace vkt::tools {

constexpr int kExitUsage = 2;

struct ToolUsage {
  const char* program;  // "vkt-jpeg"
  const char* usage;    // whole lines, each ending in '\n'
};

// The project version, "MAJOR.MINOR.PATCH".
const char* projectVersion();

// When any argument is --help, -h or --version, prints the answer and
// returns the exit status (0); otherwise nothing.
std::optional<int> answerStandardOptions(const ToolUsage& tool, int argc, char** argv);

// Prints "PROGRAM: REASON" and the usage on standard error; returns
// kExitUsage.
int usageError(const ToolUsage& tool, std::string_view reason);

}  // namespace vkt::tools
