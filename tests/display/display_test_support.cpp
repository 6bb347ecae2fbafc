// Helpers for the display tests (see display_test_support.h).
#include "display_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace display_test {
namespace {

// Test windows live off any real screen unless a test opens a display of
// its own (the X11 test sets DISPLAY after this has run).
[[maybe_unused]] const bool offScreen = (unsetenv("DISPLAY"), true);

const char kClassName[] = "DisplayTestWindow";

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterTestClass() {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);
  });
}

std::mutex boxesMutex;
std::vector<std::string> boxes;

void RecordMessageBox(const char* caption, const char* text) {
  std::lock_guard lock(boxesMutex);
  boxes.push_back(std::string(caption) + "|" + text);
}

}  // namespace

TestWindow::TestWindow(int x, int y, int width, int height) {
  RegisterTestClass();
  window_ = CreateWindowExA(0, kClassName, "test", WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr, nullptr,
                            nullptr, nullptr);
  ShowWindow(window_, SW_SHOW);
}

TestWindow::~TestWindow() { Destroy(); }

void TestWindow::Destroy() {
  if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

std::vector<uint32_t> TestWindow::ReadPixels() const {
  RECT client{};
  GetClientRect(window_, &client);
  std::vector<uint32_t> pixels(static_cast<size_t>(client.right) * client.bottom);
  if (!PlatformReadWindowPixels(window_, reinterpret_cast<DWORD*>(pixels.data()), client.right, client.bottom)) {
    pixels.clear();
  }
  return pixels;
}

uint32_t Picture::RgbAt(int x, int y) const {
  const uint8_t* p = bgr.data() + (static_cast<size_t>(y) * width + x) * 3;
  return static_cast<uint32_t>(p[2]) << 16 | p[1] << 8 | p[0];
}

namespace {

template <typename ColourOf>
Picture MakePicture(int width, int height, ColourOf colourOf) {
  Picture picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = colourOf(x, y);
      uint8_t* p = picture.bgr.data() + (static_cast<size_t>(y) * width + x) * 3;
      p[0] = static_cast<uint8_t>(rgb);
      p[1] = static_cast<uint8_t>(rgb >> 8);
      p[2] = static_cast<uint8_t>(rgb >> 16);
    }
  }
  return picture;
}

}  // namespace

Picture QuadrantPicture(int width, int height) {
  return MakePicture(width, height, [=](int x, int y) -> uint32_t {
    const bool right = x >= width / 2, bottom = y >= height / 2;
    if (!bottom) return right ? 0x00FF00 : 0xFF0000;
    return right ? 0xFFFF00 : 0x0000FF;
  });
}

Picture GradientPicture(int width, int height) {
  return MakePicture(width, height, [](int x, int y) -> uint32_t {
    return static_cast<uint32_t>((x + 3 * y) & 255) << 16 | (x & 255) << 8 | (y & 255);
  });
}

Picture SolidPicture(int width, int height, uint32_t rgb) {
  return MakePicture(width, height, [=](int, int) { return rgb; });
}

PlatformDisplayMode Mode32(LONG width, LONG height) {
  return PlatformDisplayMode{width, height, 32, DDPF_RGB, 0xFF0000, 0x00FF00, 0x0000FF};
}

PlatformDisplayMode Mode16(DWORD red, DWORD green, DWORD blue) {
  return PlatformDisplayMode{1024, 768, 16, DDPF_RGB, red, green, blue};
}

MessageBoxes::MessageBoxes() {
  Take();
  PlatformSetMessageBoxHook(RecordMessageBox);
}

MessageBoxes::~MessageBoxes() { PlatformSetMessageBoxHook(nullptr); }

std::vector<std::string> MessageBoxes::Take() {
  std::lock_guard lock(boxesMutex);
  return std::exchange(boxes, {});
}

int ColourDistance(uint32_t a, uint32_t b) {
  int largest = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int d = std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF));
    largest = std::max(largest, d);
  }
  return largest;
}

}  // namespace display_test
