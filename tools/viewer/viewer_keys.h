// What the viewer's keys do: q or Escape quits, s saves every tile, f
// toggles the tile under the pointer (or tile 1) between its place in the
// grid and the whole window, 1-9 do the same for that tile.
#pragma once
#include <windows.h>

namespace vkt::viewer {

enum class KeyCommand { None, Quit, Snapshot, FillPointerTile, FillTile };

struct KeyAction {
  KeyCommand command = KeyCommand::None;
  int tile = -1;  // FillTile: the tile, 0-based
};

// The action of a WM_KEYDOWN's virtual-key code.
KeyAction keyAction(WPARAM virtualKey);

// The tile that fills the window after asking to toggle `requested` while
// `filled` fills it (-1: none, the grid shows). Asking for a tile that does
// not exist changes nothing.
int toggleFill(int filled, int requested, int tiles);

}  // namespace vkt::viewer
