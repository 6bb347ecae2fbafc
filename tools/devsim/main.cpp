// vkt-devsim: a simulated network video device of kind 7100 or 5200 that
// speaks the transports' wire protocol, with switches for the faults and
// load patterns the tests need. See docs/protocol.md.
#include <cstdio>
#include <string>

#include "common/tool_usage.h"
#include "options.h"
#include "server.h"

int main(int argc, char** argv) {
  const vkt::tools::ToolUsage tool = {"vkt-devsim", vkt::devsim::usageText()};
  if (const auto status = vkt::tools::answerStandardOptions(tool, argc, argv)) return *status;
  static vkt::devsim::SimulatorOptions options;
  std::string error;
  if (!vkt::devsim::parseOptions(argc, argv, options, error)) return vkt::tools::usageError(tool, error);
  // A source that cannot be served is refused before anyone connects.
  if (!vkt::devsim::loadContent(options, error)) {
    std::fprintf(stderr, "vkt-devsim: %s\n", error.c_str());
    return 2;
  }
  return vkt::devsim::runServer(options);
}
