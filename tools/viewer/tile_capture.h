// What the viewer reads back from its tiles: the pictures shown in each (a
// count kept by the display), their pixels, and a PNG of them. The SDK draws
// straight to the screen, so only the display layer can tell; on POSIX the
// platform layer keeps these figures, elsewhere they are reported missing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vkt::viewer {

struct TilePictures {
  DWORD pictures = 0;
  DWORD lastPictureTick = 0;  // GetTickCount of the latest picture
  DWORD longestGap = 0;       // milliseconds between two pictures, the longest so far
};

// False where the display keeps no count.
bool readTilePictures(HWND tile, TilePictures& pictures);

// The tile's client pixels as 0x00RRGGBB, rows top first; false if unknown.
bool readTilePixels(HWND tile, std::vector<uint32_t>& rgb, int& width, int& height);

bool saveTilePng(HWND tile, const std::string& path);

}  // namespace vkt::viewer
