// DirectDraw 7 subset on POSIX: the objects, records and result codes that
// the video renderer uses, as abstract classes with the COM method names.
//
// The implementation simulates one display whose mode tests choose. A blit
// onto the primary surface through a clipper lands in the clipper window's
// client-area pixels (readable with PlatformReadWindowPixels, gdi.h) and, when
// an X display is open, on the window's X11 window. The entry point
// DirectDrawCreateEx is reached only through LoadLibraryA("ddraw.dll") and
// GetProcAddress, as on Windows.
#pragma once
#ifdef _WIN32
#include_next <ddraw.h>
#else
#include "windows.h"

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
#endif
typedef const GUID& REFIID;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

inline constexpr GUID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

// Result codes.
#ifndef S_OK
#define S_OK ((HRESULT)0)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#endif
#define DD_OK ((HRESULT)0)
#define DDERR_GENERIC E_FAIL
#define DDERR_UNSUPPORTED E_NOTIMPL
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_INVALIDOBJECT ((HRESULT)0x88760082L)
#define DDERR_NOCOOPERATIVELEVELSET ((HRESULT)0x887600D4L)
#define DDERR_INVALIDPIXELFORMAT ((HRESULT)0x88760091L)
#define DDERR_INVALIDRECT ((HRESULT)0x88760096L)
#define DDERR_OUTOFVIDEOMEMORY ((HRESULT)0x8876017CL)
#define DDERR_SURFACEBUSY ((HRESULT)0x887601AEL)
#define DDERR_SURFACELOST ((HRESULT)0x887601C2L)
#define DDERR_PRIMARYSURFACEALREADYEXISTS ((HRESULT)0x88760234L)
#define DDERR_NOTLOCKED ((HRESULT)0x88760248L)
#define DDERR_WRONGMODE ((HRESULT)0x8876024BL)
#define DDERR_CANTCREATEDC ((HRESULT)0x8876025DL)
#define DDERR_DCALREADYCREATED ((HRESULT)0x8876026CL)
#define DDERR_NODC ((HRESULT)0x8876024AL)

#ifndef SUCCEEDED
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

// SetCooperativeLevel.
#define DDSCL_NORMAL 0x00000008u

// Surface description flags.
#define DDSD_CAPS 0x00000001u
#define DDSD_HEIGHT 0x00000002u
#define DDSD_WIDTH 0x00000004u
#define DDSD_PITCH 0x00000008u
#define DDSD_PIXELFORMAT 0x00001000u
#define DDSD_LPSURFACE 0x00000800u

// Surface capabilities.
#define DDSCAPS_OFFSCREENPLAIN 0x00000040u
#define DDSCAPS_PRIMARYSURFACE 0x00000200u
#define DDSCAPS_SYSTEMMEMORY 0x00000800u
#define DDSCAPS_VIDEOMEMORY 0x00004000u

// Pixel format flags.
#define DDPF_FOURCC 0x00000004u
#define DDPF_PALETTEINDEXED8 0x00000020u
#define DDPF_RGB 0x00000040u

// Lock, Blt.
#define DDLOCK_WAIT 0x00000001u
#define DDBLT_WAIT 0x01000000u
#define DDBLT_DONOTWAIT 0x08000000u

typedef struct _DDSCAPS2 {
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCaps3;
  DWORD dwCaps4;
} DDSCAPS2;

typedef struct _DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
} DDCOLORKEY;

typedef struct _DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  DWORD dwRGBBitCount;
  DWORD dwRBitMask;
  DWORD dwGBitMask;
  DWORD dwBBitMask;
  DWORD dwRGBAlphaBitMask;
} DDPIXELFORMAT;

// 124 bytes on a 32-bit host; dwSize must be sizeof(DDSURFACEDESC2).
typedef struct _DDSURFACEDESC2 {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  DWORD dwRefreshRate;
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  LPVOID lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS2 ddsCaps;
  DWORD dwTextureStage;
} DDSURFACEDESC2, *LPDDSURFACEDESC2;
static_assert(sizeof(void*) != 4 || sizeof(DDSURFACEDESC2) == 124, "surface descriptor layout");

// The driver capabilities record (380 bytes); only the leading members are
// filled in, the rest reads as zero.
typedef struct _DDCAPS_DX7 {
  DWORD dwSize;
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCKeyCaps;
  DWORD dwFXCaps;
  DWORD dwFXAlphaCaps;
  DWORD dwPalCaps;
  DWORD dwSVCaps;
  DWORD dwAlphaBltConstBitDepths;
  DWORD dwAlphaBltPixelBitDepths;
  DWORD dwAlphaBltSurfaceBitDepths;
  DWORD dwAlphaOverlayConstBitDepths;
  DWORD dwAlphaOverlayPixelBitDepths;
  DWORD dwAlphaOverlaySurfaceBitDepths;
  DWORD dwZBufferBitDepths;
  DWORD dwVidMemTotal;
  DWORD dwVidMemFree;
  DWORD dwRemaining[78];
} DDCAPS, *LPDDCAPS;
static_assert(sizeof(DDCAPS) == 380, "driver capabilities layout");

#define DDCAPS_BLT 0x00000040u
#define DDCAPS_BLTSTRETCH 0x00000200u

typedef struct _DDBLTFX DDBLTFX, *LPDDBLTFX;

struct IUnknown {
  virtual HRESULT WINAPI QueryInterface(REFIID iid, LPVOID* object) = 0;
  virtual ULONG WINAPI AddRef() = 0;
  virtual ULONG WINAPI Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IDirectDrawClipper : IUnknown {
  virtual HRESULT WINAPI SetHWnd(DWORD flags, HWND window) = 0;

 protected:
  ~IDirectDrawClipper() = default;
};
typedef IDirectDrawClipper* LPDIRECTDRAWCLIPPER;

struct IDirectDrawSurface7 : IUnknown {
  virtual HRESULT WINAPI Blt(LPRECT destRect, IDirectDrawSurface7* source, LPRECT sourceRect, DWORD flags,
                             LPDDBLTFX effects) = 0;
  virtual HRESULT WINAPI GetDC(HDC* dc) = 0;
  virtual HRESULT WINAPI IsLost() = 0;
  virtual HRESULT WINAPI Lock(LPRECT rect, LPDDSURFACEDESC2 desc, DWORD flags, HANDLE event) = 0;
  virtual HRESULT WINAPI ReleaseDC(HDC dc) = 0;
  virtual HRESULT WINAPI Restore() = 0;
  virtual HRESULT WINAPI SetClipper(LPDIRECTDRAWCLIPPER clipper) = 0;
  virtual HRESULT WINAPI Unlock(LPRECT rect) = 0;

 protected:
  ~IDirectDrawSurface7() = default;
};
typedef IDirectDrawSurface7* LPDIRECTDRAWSURFACE7;

struct IDirectDraw7 : IUnknown {
  virtual HRESULT WINAPI CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, IUnknown* outer) = 0;
  virtual HRESULT WINAPI CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* surface, IUnknown* outer) = 0;
  virtual HRESULT WINAPI GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps) = 0;
  virtual HRESULT WINAPI GetDisplayMode(LPDDSURFACEDESC2 desc) = 0;
  virtual HRESULT WINAPI SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT WINAPI RestoreAllSurfaces() = 0;

 protected:
  ~IDirectDraw7() = default;
};
typedef IDirectDraw7* LPDIRECTDRAW7;

// POSIX-only controls of the simulated display, for tests.
typedef struct PlatformDisplayMode {
  LONG width;
  LONG height;
  DWORD bitsPerPixel;  // 8, 16, 24 or 32
  DWORD pixelFlags;    // DDPF_RGB for direct colour
  DWORD redMask, greenMask, blueMask;
} PlatformDisplayMode;

typedef struct PlatformDisplayCounters {
  DWORD locks;           // Lock calls on any surface
  DWORD blits;           // Blt calls
  DWORD deviceContexts;  // GetDC calls
  DWORD restores;        // Restore calls, on surfaces or through RestoreAllSurfaces
} PlatformDisplayCounters;

extern "C" {
// Sets the mode that DirectDraw objects created afterwards report and give
// their surfaces. Null, or a mode of another depth than 8, 16, 24 or 32 bits
// or a size outside 1..16384, returns to the default: 32 bits, 8:8:8, the X
// screen's size when an X display is open, else 1920 x 1080.
WINAPI_EXPORT void PlatformSetDisplayMode(const PlatformDisplayMode* mode);
// Marks every existing surface lost until it is restored.
WINAPI_EXPORT void PlatformLoseSurfaces(void);
// While set, Restore and RestoreAllSurfaces fail with DDERR_WRONGMODE.
WINAPI_EXPORT void PlatformSetRestoreFails(BOOL fails);
// While set, surfaces asked for in video memory fail with DDERR_OUTOFVIDEOMEMORY.
WINAPI_EXPORT void PlatformSetVideoMemoryFull(BOOL full);
// While set, DirectDrawCreateEx and CreateClipper fail with DDERR_GENERIC,
// as on a machine whose display driver has no DirectDraw.
WINAPI_EXPORT void PlatformSetDirectDrawFails(BOOL fails);
WINAPI_EXPORT void PlatformGetDisplayCounters(PlatformDisplayCounters* counters);
}
#endif
