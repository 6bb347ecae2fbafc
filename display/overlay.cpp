// DrawOverlay: the recording dot and the device time over each picture.
#include "overlay.h"

#include <cstdio>

namespace {

constexpr COLORREF kIndicatorGreen = 0x0000FF00;
constexpr int kTextX = 10;
constexpr int kTextY = 10;
// The dot's size and margins suit a picture of 352 pixels across; wider
// pictures get a larger dot, narrower ones a smaller one.
constexpr int32_t kReferenceWidth = 352;
constexpr int32_t kReferenceHeight = 288;

}  // namespace

RECT RecordingIndicatorRect(int32_t width, int32_t height) {
  if (width > kReferenceWidth) {
    return height > kReferenceHeight ? RECT{width - 48, 16, width - 8, 56} : RECT{width - 48, 8, width - 8, 28};
  }
  if (width == kReferenceWidth) return RECT{328, 8, 348, 28};
  return RECT{width - 12, 4, width - 2, 14};
}

void CALLBACK DrawOverlay(HDC dc, uint32_t* pictureSize, void* context) {
  if (!dc || !context || !pictureSize) return;
  const auto& source = *static_cast<const OverlaySource*>(context);
  SetBkMode(dc, TRANSPARENT);
  const RECT dot = RecordingIndicatorRect(static_cast<int32_t>(pictureSize[0]), static_cast<int32_t>(pictureSize[1]));
  if (source.OverlayIsRecording()) {
    HBRUSH brush = CreateSolidBrush(kIndicatorGreen);
    HGDIOBJ previous = SelectObject(dc, brush);
    Ellipse(dc, dot.left, dot.top, dot.right, dot.bottom);
    SelectObject(dc, previous);
    DeleteObject(brush);
  }
  const SYSTEMTIME time = source.OverlayDeviceTime();
  char text[48];
  const int length = std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", time.wYear, time.wMonth,
                                   time.wDay, time.wHour, time.wMinute, time.wSecond);
  TextOutA(dc, kTextX, kTextY, text, length);
}
