// DrawOverlay: the built-in draw callback of the H.264 device's renderer.
// It writes the device's date and time at the top left of the picture and,
// while the stream is being recorded, a green dot near the top right. It
// draws on the picture surface before the blit, so both scale with the
// picture; both are sized to the picture, so they keep the same share of
// it whatever its size.
#pragma once
#include <windows.h>

#include <cstdint>

// What the overlay reads from the session that owns the renderer. The
// session implements it and registers
//   SetDrawCallback(DrawOverlay, static_cast<OverlaySource*>(session))
// (the cast matters: the context must point at this interface). Both reads
// happen on the drawing thread without a lock.
class OverlaySource {
 public:
  // The device clock (only the date and time fields are shown).
  virtual SYSTEMTIME OverlayDeviceTime() const = 0;
  // True while the recording file is open.
  virtual bool OverlayIsRecording() const = 0;

 protected:
  ~OverlaySource() = default;
};

// The indicator's box (left, top, right, bottom) for a picture size: a
// circle of 5/72 of the picture height, 2/72 down and 1/72 in from the
// right edge.
RECT RecordingIndicatorRect(int32_t width, int32_t height);
// The height in pixels of the date's glyphs (their width is half of it)
// and the x and y of its top-left corner, for a picture size.
int32_t OverlayGlyphHeight(int32_t width, int32_t height);
int32_t OverlayTextOffset(int32_t width, int32_t height);

// A DrawCallback (draw_callback.h); `context` is an OverlaySource*.
void CALLBACK DrawOverlay(HDC dc, uint32_t* pictureSize, void* context);
