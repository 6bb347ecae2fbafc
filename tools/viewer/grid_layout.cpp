// Grid arithmetic of the viewer (see grid_layout.h). Integers only, so that
// tiles meet exactly and the same input always gives the same pixels.
#include "grid_layout.h"

#include <algorithm>

namespace vkt::viewer {

int gridColumns(int tiles) {
  int columns = 1;
  while (columns * columns < tiles) ++columns;
  return columns;
}

int gridRows(int tiles) {
  const int columns = gridColumns(tiles);
  return std::max(1, (tiles + columns - 1) / columns);
}

namespace {

// Start of cell `i` of `count` cells across `length` pixels.
LONG cellStart(int i, int count, int length) { return static_cast<LONG>(static_cast<long long>(length) * i / count); }

}  // namespace

RECT tileRect(int index, int tiles, int width, int height) {
  if (tiles <= 0 || index < 0 || index >= tiles) return RECT{0, 0, 0, 0};
  const int columns = gridColumns(tiles), rows = gridRows(tiles);
  const int column = index % columns, row = index / columns;
  RECT rect{cellStart(column, columns, width), cellStart(row, rows, height), cellStart(column + 1, columns, width),
            cellStart(row + 1, rows, height)};
  if (column + 1 < columns) rect.right = std::max(rect.left, rect.right - kTileGap);
  if (row + 1 < rows) rect.bottom = std::max(rect.top, rect.bottom - kTileGap);
  return rect;
}

int tileAt(POINT point, int tiles, int width, int height) {
  for (int index = 0; index < tiles; ++index) {
    const RECT r = tileRect(index, tiles, width, height);
    if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom) return index;
  }
  return -1;
}

WindowSize gridWindowSize(int tiles, int pictureWidth, int pictureHeight, int screenWidth, int screenHeight) {
  const long long width = static_cast<long long>(gridColumns(tiles)) * pictureWidth;
  const long long height = static_cast<long long>(gridRows(tiles)) * pictureHeight;
  if (width <= 0 || height <= 0) return WindowSize{0, 0};
  // Scale by the tighter of the two screen limits, never up, both from the
  // unscaled size so that rounding happens once.
  long long scaledWidth = width, scaledHeight = height;
  if (screenWidth > 0 && scaledWidth > screenWidth) {
    scaledWidth = screenWidth;
    scaledHeight = height * screenWidth / width;
  }
  if (screenHeight > 0 && scaledHeight > screenHeight) {
    scaledHeight = screenHeight;
    scaledWidth = width * screenHeight / height;
  }
  return WindowSize{static_cast<int>(std::max(1LL, scaledWidth)), static_cast<int>(std::max(1LL, scaledHeight))};
}

}  // namespace vkt::viewer
