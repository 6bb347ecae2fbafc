// VideoRenderer: DirectDraw set-up, the picture surface, and drawing.
//
// Failures in drawing are silent (a status per picture); the only messages
// a user sees are the two message boxes below, and a display depth other
// than 16, 24 or 32 bits leaves one debug line.
#include "video_renderer.h"

#include <algorithm>
#include <cstdio>

#include "ddraw_loader.h"
#include "picture_copy.h"

namespace {

const char kDirectDrawMissing[] = "Load library ddraw.dll Failed.Please install DirectX 9.0.";
const char kFormatNames[][5] = {"RGB", "YUY2", "YV12", "UYVY"};

// Results of CreatePictureSurface besides DirectDraw's own errors.
constexpr int32_t kClipperFailed = -1;
constexpr int32_t kUnsupported16BitMasks = -2;
constexpr int32_t kNotRgb = -3;
constexpr int32_t kUnsupportedDepth = -4;

// The right or bottom edge of a window lying wholly left of or above the
// screen is replaced by these.
constexpr LONG kOffscreenRight = 276;
constexpr LONG kOffscreenBottom = 232;

class LockGuard {
 public:
  explicit LockGuard(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
  ~LockGuard() { LeaveCriticalSection(lock_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CRITICAL_SECTION* lock_;
};

template <typename T>
void ReleaseInterface(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

DDSURFACEDESC2 EmptyDescriptor() {
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  return desc;
}

}  // namespace

VideoRenderer::VideoRenderer() {
  LoadDirectDrawModule();
  InitializeCriticalSection(&lock_);
}

VideoRenderer::~VideoRenderer() {
  EnterCriticalSection(&lock_);
  ReleaseObjects();
  LeaveCriticalSection(&lock_);
  DeleteCriticalSection(&lock_);
}

int32_t VideoRenderer::Initialize() {
  if (!DirectDrawModule() || !DirectDrawCreateEntry()) {
    MessageBoxA(nullptr, kDirectDrawMissing, "Error", MB_ICONERROR);
    return 0;
  }
  ReleaseObjects();
  LPVOID created = nullptr;
  if (DirectDrawCreateEntry()(nullptr, &created, IID_IDirectDraw7, nullptr) != DD_OK || !created) return 0;
  directDraw_ = static_cast<IDirectDraw7*>(created);

  DDCAPS driverCaps{};
  driverCaps.dwSize = sizeof driverCaps;
  if (directDraw_->GetCaps(&driverCaps, nullptr) != DD_OK) return 0;
  if (directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL) != DD_OK) return 0;
  pictureMemoryCaps_ = DDSCAPS_VIDEOMEMORY;

  DDSURFACEDESC2 mode = EmptyDescriptor();
  directDraw_->GetDisplayMode(&mode);
  screenWidth_ = static_cast<int32_t>(mode.dwWidth);
  screenHeight_ = static_cast<int32_t>(mode.dwHeight);

  DDSURFACEDESC2 primary = EmptyDescriptor();
  primary.dwFlags = DDSD_CAPS;
  primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  return directDraw_->CreateSurface(&primary, &primarySurface_, nullptr) == DD_OK ? 1 : 0;
}

int32_t VideoRenderer::Configure(HWND window, uint32_t width, uint32_t height, int32_t formatCode) {
  pictureSize_[0] = width;
  pictureSize_[1] = height;
  if (width == 0 || height == 0 || !IsWindow(window)) return 0;
  window_ = window;
  if (!directDraw_ && !primarySurface_) return 0;
  // Unknown codes have no name to report and are refused before any attempt.
  if (formatCode < kFormatRgb || formatCode > kFormatUyvy) return 0;
  pixelCode_ = formatCode;
  if (formatCode == lastFormatCode_ && errorShown_) return 0;

  const int32_t result = CreatePictureSurface(window, width, height);
  lastFormatCode_ = formatCode;
  if (result == 0) return 1;
  if (!errorShown_) {
    ShowSurfaceError(kFormatNames[formatCode], result);
    errorShown_ = 1;
  }
  return 0;
}

int32_t VideoRenderer::Resize(uint32_t width, uint32_t height) {
  return Configure(window_, width, height, lastFormatCode_);
}

void VideoRenderer::ShowSurfaceError(const char* formatName, int32_t error) {
  char text[128];
  std::snprintf(text, sizeof text, "CreateDirectDraw surface (%s) failed, Error = %8X\n", formatName,
                static_cast<unsigned>(error));
  MessageBoxA(nullptr, text, "Error", MB_ICONERROR);
}

int32_t VideoRenderer::CreatePictureSurface(HWND window, uint32_t width, uint32_t height) {
  // A second configuration replaces the picture surface instead of leaking it.
  {
    LockGuard guard(&lock_);
    ReleaseInterface(pictureSurface_);
  }
  if (!directDraw_) return DDERR_INVALIDOBJECT;
  DDSURFACEDESC2 desc = EmptyDescriptor();
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
  desc.dwWidth = width;
  desc.dwHeight = height;
  desc.ddsCaps.dwCaps = pictureMemoryCaps_ | DDSCAPS_OFFSCREENPLAIN;
  HRESULT result = directDraw_->CreateSurface(&desc, &pictureSurface_, nullptr);
  if (result != DD_OK) {
    desc.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
    result = directDraw_->CreateSurface(&desc, &pictureSurface_, nullptr);
    if (result != DD_OK) return result;
  }

  DDSURFACEDESC2 locked = EmptyDescriptor();
  result = pictureSurface_->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr);
  if (result != DD_OK) {
    ReleaseInterface(pictureSurface_);
    return result;
  }
  const DDPIXELFORMAT& format = locked.ddpfPixelFormat;
  if (!(format.dwFlags & DDPF_RGB)) {
    pictureSurface_->Unlock(nullptr);
    ReleaseInterface(pictureSurface_);
    return kNotRgb;
  }
  int32_t code;
  switch (format.dwRGBBitCount) {
    case 32:
      code = kPixel32Bit;
      break;
    case 24:
      code = kPixel24Bit;
      break;
    case 16:
      code = format.dwRBitMask == 0xF800   ? kPixel16Bit565
             : format.dwRBitMask == 0x7C00 ? kPixel16Bit555
                                           : kPixelUnsupported;
      break;
    default: {
      char line[128];
      std::snprintf(line, sizeof line, "dwRGBBitCount = %d dwRGBBitCount = %04X ddsd.lPitch = %d\n",
                    static_cast<int>(format.dwRGBBitCount), static_cast<unsigned>(format.dwRBitMask),
                    static_cast<int>(locked.lPitch));
      OutputDebugStringA(line);
      pictureSurface_->Unlock(nullptr);
      ReleaseInterface(pictureSurface_);
      return kUnsupportedDepth;
    }
  }
  pixelCode_ = code;
  pictureSurface_->Unlock(nullptr);
  if (code == kPixelUnsupported) {
    ReleaseInterface(pictureSurface_);
    return kUnsupported16BitMasks;
  }
  return AttachClipper(window) ? 0 : kClipperFailed;
}

int32_t VideoRenderer::AttachClipper(HWND window) {
  LockGuard guard(&lock_);
  if (!primarySurface_ || !directDraw_) return 0;
  window_ = window;
  IDirectDrawClipper* clipper = nullptr;
  if (directDraw_->CreateClipper(0, &clipper, nullptr) != DD_OK || !clipper) return 0;
  // The primary surface keeps its own reference; ours goes in every case.
  const bool attached = clipper->SetHWnd(0, window) == DD_OK && primarySurface_->SetClipper(clipper) == DD_OK;
  clipper->Release();
  return attached ? 1 : 0;
}

int32_t VideoRenderer::DrawPicture(const uint8_t* pixels, RECT* sourceRect) {
  if (!primarySurface_ || !pictureSurface_) return kDrawNoSurface;
  if (!IsWindow(window_)) return kDrawNoWindow;
  if (!IsWindowVisible(window_)) return kDrawWindowHidden;
  if (!pixels) return kDrawSurfaceUnusable;  // nothing to show: dropped like an unusable frame

  LockGuard guard(&lock_);
  if (pictureSurface_->IsLost() == DDERR_SURFACELOST) {
    primarySurface_->Restore();
    if (pictureSurface_->Restore() != DD_OK) return kDrawSurfaceUnusable;
    directDraw_->RestoreAllSurfaces();
  }
  DDSURFACEDESC2 locked = EmptyDescriptor();
  if (pictureSurface_->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr) != DD_OK) return kDrawSurfaceUnusable;
  surfacePixels_ = static_cast<uint8_t*>(locked.lpSurface);
  surfacePitch_ = locked.lPitch;
  // The picture has the configured size, but the surface may be older: a
  // Configure that failed after storing a new size leaves the two apart.
  // Never write past the surface.
  const uint32_t columns = std::min<uint32_t>(pictureSize_[0], locked.dwWidth);
  const uint32_t rows = std::min<uint32_t>(pictureSize_[1], locked.dwHeight);
  CopyPicture(pixelCode_, pixels, static_cast<size_t>(pictureSize_[0]) * 3, columns, rows, surfacePixels_,
              surfacePitch_);
  pictureSurface_->Unlock(nullptr);
  surfacePixels_ = nullptr;
  return Present(sourceRect);
}

int32_t VideoRenderer::Present(RECT* sourceRect) {
  UpdateDestinationRect();
  if (!drawCallback_) {
    return primarySurface_->Blt(&destinationRect_, pictureSurface_, sourceRect, DDBLT_WAIT, nullptr);
  }
  HDC dc = nullptr;
  if (pictureSurface_->GetDC(&dc) == DD_OK && dc) {
    // A copy: whatever the callback does with it, the configured size stays.
    uint32_t size[2] = {pictureSize_[0], pictureSize_[1]};
    drawCallback_(dc, size, drawContext_);
    pictureSurface_->ReleaseDC(dc);
  }
  return primarySurface_->Blt(&destinationRect_, pictureSurface_, sourceRect, DDBLT_DONOTWAIT, nullptr);
}

void VideoRenderer::UpdateDestinationRect() {
  RECT client{};
  GetClientRect(window_, &client);
  POINT topLeft{client.left, client.top};
  POINT bottomRight{client.right, client.bottom};
  ClientToScreen(window_, &topLeft);
  ClientToScreen(window_, &bottomRight);
  RECT rect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  if (rect.right > screenWidth_) rect.right = screenWidth_;
  if (rect.bottom > screenHeight_) rect.bottom = screenHeight_;
  if (rect.right < 0) rect.right = kOffscreenRight;
  if (rect.bottom < 0) rect.bottom = kOffscreenBottom;
  if (rect.left < 0) rect.left = 0;
  if (rect.top < 0) rect.top = 0;
  destinationRect_ = rect;
}

int32_t VideoRenderer::SetDrawCallback(DrawCallback callback, void* context) {
  // Under the lock, so that a picture being drawn never pairs one callback
  // with another's context.
  LockGuard guard(&lock_);
  drawCallback_ = callback;
  drawContext_ = context;
  return 1;
}

void VideoRenderer::ReleaseObjects() {
  ReleaseInterface(pictureSurface_);
  ReleaseInterface(primarySurface_);
  if (directDraw_) directDraw_->SetCooperativeLevel(nullptr, DDSCL_NORMAL);
  ReleaseInterface(directDraw_);
}
