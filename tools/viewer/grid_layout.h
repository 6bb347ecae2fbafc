// Arithmetic of the viewer's grid: N tiles in ceil(sqrt(N)) columns and as
// many rows as they need, filling a client area; which tile a point is in;
// the window size that shows the grid at the pictures' size, or smaller to
// fit the screen.
#pragma once
#include <windows.h>

namespace vkt::viewer {

// Pixels of black between neighbouring tiles.
constexpr int kTileGap = 2;

int gridColumns(int tiles);
int gridRows(int tiles);

// Tile `index` (0-based) of `tiles` in a client area of width x height:
// equal cells, the last column and row taking the remainder; each tile but
// those of the last column and row leaves kTileGap to its neighbours.
RECT tileRect(int index, int tiles, int width, int height);

// The tile whose rectangle holds `point` (client coordinates), or -1.
int tileAt(POINT point, int tiles, int width, int height);

struct WindowSize {
  int width, height;
};
// The client size for `tiles` pictures of pictureWidth x pictureHeight at
// their own size, scaled down (keeping the proportions) to fit a screen of
// screenWidth x screenHeight.
WindowSize gridWindowSize(int tiles, int pictureWidth, int pictureHeight, int screenWidth, int screenHeight);

}  // namespace vkt::viewer
