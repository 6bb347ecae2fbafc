// The simulator's listening socket and accept loop: one thread per client,
// each running the simulated device of the configured kind.
#pragma once
#include "options.h"

namespace vkt::devsim {

// Binds, prints "listening on HOST:PORT" (flushed) and serves forever.
// Returns non-zero only when it cannot listen.
int runServer(const SimulatorOptions& options);

}  // namespace vkt::devsim
