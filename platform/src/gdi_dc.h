// GDI device contexts over surface memory, and the GDI objects (brushes,
// pens, fonts) that can be selected into them.
//
// Handles are pointers into registries guarded by GdiMutex(): every GDI call
// first checks that its handle is live, so a stale or foreign handle fails
// instead of touching freed memory. Device contexts are made and destroyed
// only by the surfaces (GetDC, ReleaseDC, release of the surface).
#pragma once
#include <windows.h>

#include <cstdint>
#include <mutex>

#include "font_8x16.h"
#include "surface_format.h"

namespace platform {

struct SurfaceBits {
  uint8_t* pixels;
  int pitch;
  int width;
  int height;
  PixelLayout layout;
};

enum class GdiKind { Brush, Pen, Font };

struct GdiObject {
  GdiKind kind;
  COLORREF color;
  bool stock;
  int cellWidth = kFontCellWidth;    // fonts: the character cell in pixels
  int cellHeight = kFontCellHeight;
  bool bold = false;
};

struct DeviceContext {
  SurfaceBits bits;
  GdiObject* brush;
  GdiObject* pen;
  GdiObject* font;
  int backgroundMode;
  COLORREF textColor;
  COLORREF backgroundColor;
};

HDC CreateSurfaceDc(const SurfaceBits& bits);
void DeleteSurfaceDc(HDC dc);

std::mutex& GdiMutex();
// With GdiMutex() held: the context behind `dc`, or null if it is not live.
DeviceContext* FindDcLocked(HDC dc);

// 0x00BBGGRR COLORREF to the 0x00RRGGBB of surface_format.h.
inline uint32_t RgbOf(COLORREF color) {
  return static_cast<uint32_t>(GetRValue(color)) << 16 | static_cast<uint32_t>(GetGValue(color)) << 8 |
         GetBValue(color);
}

}  // namespace platform
