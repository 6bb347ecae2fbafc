// Darkening of a tile (see tile_dimmer.h): a picture surface of the tile's
// size, filled with its pixels at half brightness, blitted through a
// clipper for the tile. Only 32-bit 8:8:8 displays are handled; a darkened
// picture is a hint, not something to convert formats for.
#include "tile_dimmer.h"

#include <ddraw.h>

#include <cstring>
#include <vector>

#include "tile_capture.h"

namespace vkt::viewer {
namespace {

typedef HRESULT(WINAPI* DirectDrawCreateExProc)(GUID* device, LPVOID* object, REFIID iid, IUnknown* outer);

template <typename T>
void release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

// The DirectDraw objects of one darkened blit, released in reverse order.
struct Drawing {
  HMODULE module = nullptr;
  IDirectDraw7* directDraw = nullptr;
  IDirectDrawSurface7* primary = nullptr;
  IDirectDrawClipper* clipper = nullptr;
  IDirectDrawSurface7* picture = nullptr;

  ~Drawing() {
    release(picture);
    release(clipper);
    release(primary);
    release(directDraw);
    if (module) FreeLibrary(module);
  }
};

bool writeDimmed(IDirectDrawSurface7* surface, const std::vector<uint32_t>& rgb, int width, int height) {
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr) != DD_OK) return false;
  const DDPIXELFORMAT& format = locked.ddpfPixelFormat;
  const bool plain32 = (format.dwFlags & DDPF_RGB) && format.dwRGBBitCount == 32 && format.dwRBitMask == 0xFF0000 &&
                       format.dwGBitMask == 0xFF00 && format.dwBBitMask == 0xFF;
  if (plain32) {
    for (int y = 0; y < height; ++y) {
      auto* row = static_cast<uint8_t*>(locked.lpSurface) + static_cast<size_t>(y) * locked.lPitch;
      for (int x = 0; x < width; ++x) {
        const uint32_t dimmed = (rgb[static_cast<size_t>(y) * width + x] >> 1) & 0x7F7F7F;
        std::memcpy(row + 4 * x, &dimmed, 4);
      }
    }
  }
  surface->Unlock(nullptr);
  return plain32;
}

// The label in the surface's top-left corner, in the platform's default
// black on white, so it reads on any picture.
void drawLabel(IDirectDrawSurface7* surface, const char* label) {
  HDC dc = nullptr;
  if (surface->GetDC(&dc) != DD_OK) return;
  TextOutA(dc, 8, 8, label, static_cast<int>(std::strlen(label)));
  surface->ReleaseDC(dc);
}

}  // namespace

bool dimTile(HWND tile, const char* label) {
  std::vector<uint32_t> rgb;
  int width = 0, height = 0;
  if (!readTilePixels(tile, rgb, width, height)) return false;

  Drawing d;
  d.module = LoadLibraryA("ddraw.dll");
  if (!d.module) return false;
  auto create = reinterpret_cast<DirectDrawCreateExProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(d.module, "DirectDrawCreateEx")));
  LPVOID object = nullptr;
  if (!create || create(nullptr, &object, IID_IDirectDraw7, nullptr) != DD_OK || !object) return false;
  d.directDraw = static_cast<IDirectDraw7*>(object);
  if (d.directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL) != DD_OK) return false;

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  if (d.directDraw->CreateSurface(&desc, &d.primary, nullptr) != DD_OK) return false;
  if (d.directDraw->CreateClipper(0, &d.clipper, nullptr) != DD_OK || d.clipper->SetHWnd(0, tile) != DD_OK ||
      d.primary->SetClipper(d.clipper) != DD_OK) {
    return false;
  }
  desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  desc.dwWidth = static_cast<DWORD>(width);
  desc.dwHeight = static_cast<DWORD>(height);
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  if (d.directDraw->CreateSurface(&desc, &d.picture, nullptr) != DD_OK) return false;
  if (!writeDimmed(d.picture, rgb, width, height)) return false;
  if (label) drawLabel(d.picture, label);

  POINT origin{0, 0};
  ClientToScreen(tile, &origin);
  RECT dest{origin.x, origin.y, origin.x + width, origin.y + height};
  return d.primary->Blt(&dest, d.picture, nullptr, DDBLT_WAIT, nullptr) == DD_OK;
}

}  // namespace vkt::viewer
