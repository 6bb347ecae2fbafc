// Key bindings of the viewer (see viewer_keys.h). Windows reports letters by
// their capital's code whatever the shift state, and digits by their own.
#include "viewer_keys.h"

namespace vkt::viewer {

KeyAction keyAction(WPARAM virtualKey) {
  switch (virtualKey) {
    case 'Q':
    case VK_ESCAPE:
      return KeyAction{KeyCommand::Quit};
    case 'S':
      return KeyAction{KeyCommand::Snapshot};
    case 'F':
      return KeyAction{KeyCommand::FillPointerTile};
    default:
      if (virtualKey >= '1' && virtualKey <= '9') return KeyAction{KeyCommand::FillTile, static_cast<int>(virtualKey - '1')};
      return KeyAction{};
  }
}

int toggleFill(int filled, int requested, int tiles) {
  if (requested < 0 || requested >= tiles) return filled;
  return requested == filled ? -1 : requested;
}

}  // namespace vkt::viewer
