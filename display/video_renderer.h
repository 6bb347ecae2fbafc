// VideoRenderer: shows the pictures of one video channel in a window that
// the application owns, through DirectDraw 7 in windowed mode: a primary
// surface (the desktop) clipped to the window, and one off-screen picture
// surface of the picture's size in the display's pixel format. Each picture
// is copied into the picture surface, painted over by the optional draw
// callback, and stretch-blitted onto the window's client area.
//
// Calling order: construct, Initialize, Configure, then DrawPicture for each
// picture, on any one thread at a time (the lock guards the DirectDraw
// objects). SetDrawCallback may be called at any time.
#pragma once
#include <ddraw.h>
#include <windows.h>

#include <cstdint>

#include "draw_callback.h"

// Picture format codes that Configure accepts. The picture surface always
// takes the display's pixel format; the code names it in messages only.
enum PictureFormat : int32_t {
  kFormatRgb = 0,
  kFormatYuy2 = 1,
  kFormatYv12 = 2,
  kFormatUyvy = 3,
};

// Results of DrawPicture other than the blit's own.
enum DrawResult : int32_t {
  kDrawNoSurface = 2,         // initialisation or configuration failed
  kDrawNoWindow = 3,          // the window no longer exists
  kDrawWindowHidden = 4,      // nothing is drawn
  kDrawSurfaceUnusable = 5,   // the lost picture surface could not be restored or locked
};

class VideoRenderer {
 public:
  VideoRenderer();
  // Owners delete renderers through this, the class's only virtual member.
  virtual ~VideoRenderer();
  VideoRenderer(const VideoRenderer&) = delete;
  VideoRenderer& operator=(const VideoRenderer&) = delete;

  // 1 when the DirectDraw object and the primary surface exist, else 0.
  int32_t Initialize();
  // 1 when the picture surface of width x height was created, else 0.
  int32_t Configure(HWND window, uint32_t width, uint32_t height, int32_t formatCode);
  // `pixels` must hold a picture of the configured width and height.
  // `sourceRect` null means the whole picture.
  int32_t DrawPicture(const uint8_t* pixels, RECT* sourceRect);
  int32_t SetDrawCallback(DrawCallback callback, void* context);
  // For pictures of another size than configured: a new picture surface
  // of that size for the same window and format code. Result as Configure.
  int32_t Resize(uint32_t width, uint32_t height);
  // The picture size DrawPicture reads, as last configured.
  uint32_t PictureWidth() const { return pictureSize_[0]; }
  uint32_t PictureHeight() const { return pictureSize_[1]; }
  // The window pictures are drawn into, once configured.
  HWND Window() const { return window_; }

  // The destination of the last blit, in screen coordinates.
  RECT DestinationRect() const { return destinationRect_; }
  // The requested format code before the picture surface exists, then the
  // display pixel code (picture_copy.h).
  int32_t PixelCode() const { return pixelCode_; }

 private:
  int32_t CreatePictureSurface(HWND window, uint32_t width, uint32_t height);
  int32_t AttachClipper(HWND window);
  int32_t Present(RECT* sourceRect);
  void UpdateDestinationRect();
  void ReleaseObjects();
  void ShowSurfaceError(const char* formatName, int32_t error);

  uint8_t* surfacePixels_ = nullptr;  // valid only while the picture surface is locked
  int32_t surfacePitch_ = 0;
  DWORD pictureMemoryCaps_ = 0;
  HWND window_ = nullptr;
  RECT destinationRect_{};
  uint32_t pictureSize_[2] = {0, 0};  // width, height
  int32_t screenWidth_ = 0;
  int32_t screenHeight_ = 0;
  DrawCallback drawCallback_ = nullptr;
  int32_t errorShown_ = 0;
  int32_t lastFormatCode_ = 0;
  void* drawContext_ = nullptr;
  int32_t pixelCode_ = 0;
  IDirectDraw7* directDraw_ = nullptr;
  IDirectDrawSurface7* primarySurface_ = nullptr;
  IDirectDrawSurface7* pictureSurface_ = nullptr;
  CRITICAL_SECTION lock_;
};
