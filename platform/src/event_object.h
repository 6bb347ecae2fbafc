// Event objects behind CreateEventA handles. Their state is guarded by the
// window system's mutex so that one wait can cover events and a message
// queue together.
#pragma once
#include "kernel_handles.h"
#include "platform_state.h"

namespace platform {

struct EventObject : KernelObject {
  EventState state;
};

// Takes the signal of a signalled event (resetting an auto-reset one).
// Requires GlobalState().mutex.
inline bool ConsumeSignalLocked(EventState& event) {
  if (!event.signalled) return false;
  if (!event.manualReset) event.signalled = false;
  return true;
}

}  // namespace platform
