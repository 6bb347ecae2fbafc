// vkt-devsim: a simulated network video device of kind 7100 or 5200 that
// speaks the transports' wire protocol, with switches for the faults and
// load patterns the tests need. See docs/protocol.md.
#include <cstdio>
#include <string>

#include "options.h"
#include "server.h"

int main(int argc, char** argv) {
  static vkt::devsim::SimulatorOptions options;
  std::string error;
  if (!vkt::devsim::parseOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "vkt-devsim: %s\n%s", error.c_str(), vkt::devsim::usageText());
    return 2;
  }
  // A source that cannot be served is refused before anyone connects.
  if (!vkt::devsim::loadContent(options, error)) {
    std::fprintf(stderr, "vkt-devsim: %s\n", error.c_str());
    return 2;
  }
  return vkt::devsim::runServer(options);
}
