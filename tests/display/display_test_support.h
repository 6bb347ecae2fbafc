// Helpers for the display tests: shown test windows, test pictures, the
// simulated display's mode, captured message boxes, client-pixel read-back.
#pragma once
#include <ddraw.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace display_test {

// A visible top-level window whose client area is x, y, width, height on
// the screen; destroyed with the object unless already gone.
class TestWindow {
 public:
  TestWindow(int x, int y, int width, int height);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND handle() const { return window_; }
  void Destroy();
  // The client area's pixels, 0x00RRGGBB, rows top first.
  std::vector<uint32_t> ReadPixels() const;

 private:
  HWND window_;
};

// A picture as DrawPicture takes it: blue, green, red bytes, rows top first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;

  uint32_t RgbAt(int x, int y) const;
};

// Four quadrants: red top left, green top right, blue bottom left, yellow
// bottom right.
Picture QuadrantPicture(int width, int height);
// Every pixel different from its neighbours: red = (x + 3y) & 255,
// green = x & 255, blue = y & 255.
Picture GradientPicture(int width, int height);
Picture SolidPicture(int width, int height, uint32_t rgb);

// Display modes.
PlatformDisplayMode Mode32(LONG width = 1024, LONG height = 768);
PlatformDisplayMode Mode16(DWORD red, DWORD green, DWORD blue);

// Captures message boxes while it lives; Take returns those shown since the
// last Take, as "caption|text".
class MessageBoxes {
 public:
  MessageBoxes();
  ~MessageBoxes();
  std::vector<std::string> Take();
};

// Channel distance between two 0x00RRGGBB colours (the largest of the three).
int ColourDistance(uint32_t a, uint32_t b);

}  // namespace display_test
