// Shows a lost channel: its tile's last picture, darkened, drawn back into
// the tile through DirectDraw as the SDK's renderer draws pictures, with a
// word on it if one is given ("reconnecting").
#pragma once
#include <windows.h>

namespace vkt::viewer {

// False when the tile's pixels cannot be read or DirectDraw cannot draw
// them (then the tile keeps its picture as it was).
bool dimTile(HWND tile, const char* label = nullptr);

}  // namespace vkt::viewer
