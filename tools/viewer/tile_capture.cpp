// Read-back of tiles (see tile_capture.h) through the POSIX platform's
// display hooks; a Windows build has no such hooks and reports nothing.
#include "tile_capture.h"

namespace vkt::viewer {

#ifndef _WIN32

bool readTilePictures(HWND tile, TilePictures& pictures) {
  PlatformWindowPictures shown{};
  if (!PlatformGetWindowPictures(tile, &shown)) return false;
  pictures = TilePictures{shown.pictures, shown.lastPictureTick, shown.longestGap};
  return true;
}

bool readTilePixels(HWND tile, std::vector<uint32_t>& rgb, int& width, int& height) {
  RECT client;
  if (!GetClientRect(tile, &client) || client.right <= 0 || client.bottom <= 0) return false;
  width = client.right;
  height = client.bottom;
  std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
  if (!PlatformReadWindowPixels(tile, pixels.data(), width, height)) return false;
  rgb.assign(pixels.begin(), pixels.end());
  return true;
}

bool saveTilePng(HWND tile, const std::string& path) { return PlatformSaveWindowPng(tile, path.c_str()) != FALSE; }

#else

bool readTilePictures(HWND, TilePictures&) { return false; }
bool readTilePixels(HWND, std::vector<uint32_t>&, int&, int&) { return false; }
bool saveTilePng(HWND, const std::string&) { return false; }

#endif

}  // namespace vkt::viewer
