// gdi32 subset: the drawing the overlay does on a surface's device context
// (background mode, solid brushes, ellipses, text in a built-in 8 x 16
// bitmap font drawn at the cell size of the selected font), plus POSIX-only
// read-back of a window's client-area pixels.
//
// Device contexts come from IDirectDrawSurface7::GetDC and draw straight
// into the surface's memory in its pixel format. A new context has the
// Windows defaults: white brush, black one-pixel pen, black text, white
// opaque background.
#pragma once
#include "base.h"

typedef struct HPEN__* HPEN;
typedef struct HFONT__* HFONT;

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// CreateFontA arguments; only the height, width and weight change the
// drawing here.
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define NONANTIALIASED_QUALITY 3
#define FIXED_PITCH 1
#define FF_MODERN 0x30

EXTERN_C_START
WINAPI_EXPORT int WINAPI SetBkMode(HDC dc, int mode);
WINAPI_EXPORT HBRUSH WINAPI CreateSolidBrush(COLORREF color);
// A font whose character cells are |height| pixels high (0: 16) and `width`
// pixels wide (0: half the height); TextOutA draws the built-in glyphs
// stretched to that cell, with every stroke one glyph pixel wider from
// FW_BOLD on. The other arguments are accepted and ignored.
WINAPI_EXPORT HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                                       DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                                       DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                                       DWORD pitchAndFamily, LPCSTR faceName);
WINAPI_EXPORT HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// Stock objects are never deleted; an object still selected into a context
// is refused (FALSE) so that no context is left pointing at freed memory.
WINAPI_EXPORT BOOL WINAPI DeleteObject(HGDIOBJ object);
// Fills the ellipse inscribed in [left, right) x [top, bottom) with the
// selected brush and outlines it with the selected pen.
WINAPI_EXPORT BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom);
// Draws `length` characters with their cell's top-left corner at (x, y),
// in cells of the selected font; characters outside printable ASCII show
// as '?'.
WINAPI_EXPORT BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length);
// GetGuiResources's one count here: the GDI objects (fonts, brushes, pens
// and device contexts) the current process holds, so a leak shows.
#define GR_GDIOBJECTS 0
WINAPI_EXPORT DWORD WINAPI GetGuiResources(HANDLE process, DWORD flags);

// POSIX-only: the client area of `window` as it was last drawn, 0x00RRGGBB
// per pixel, rows top first; never-drawn pixels are black. `width` and
// `height` must be those of the client area (GetClientRect).
WINAPI_EXPORT BOOL PlatformReadWindowPixels(HWND window, DWORD* pixels, int width, int height);
// POSIX-only: saves the same pixels as an 8-bit RGB PNG file.
WINAPI_EXPORT BOOL PlatformSaveWindowPng(HWND window, LPCSTR path);
// POSIX-only: the pictures shown in `window`, i.e. the blits that drew into
// its client area: how many, the GetTickCount of the latest, and the
// longest time in milliseconds between two of them (all 0 before any).
typedef struct PlatformWindowPictures {
  DWORD pictures;
  DWORD lastPictureTick;
  DWORD longestGap;
} PlatformWindowPictures;
WINAPI_EXPORT BOOL PlatformGetWindowPictures(HWND window, PlatformWindowPictures* pictures);
EXTERN_C_END
