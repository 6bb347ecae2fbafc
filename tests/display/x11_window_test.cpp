// Real X11 windows: an Xvfb started for the test, a window shown through the
// platform, a picture with the overlay drawn by VideoRenderer, and the
// screen read back from the X server's root window. X events come back to
// the window procedure through the ordinary message loop.
#include <gtest/gtest.h>
// After gtest: Xlib defines None, which gtest uses as a name.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "display_test_support.h"
#include "platform_x11.h"
#include "tests/common/xvfb_server.h"
#include "overlay.h"
#include "video_renderer.h"

using namespace display_test;
using namespace std::chrono_literals;

namespace {

class FakeSession : public OverlaySource {
 public:
  SYSTEMTIME OverlayDeviceTime() const override { return SYSTEMTIME{2024, 3, 2, 5, 7, 8, 9, 0}; }
  bool OverlayIsRecording() const override { return true; }
};

// Repeats `check` while pumping the thread's messages, until it holds or
// five seconds have passed: the X server and the event thread run apart.
bool Eventually(const std::function<bool()>& check) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (check()) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

std::vector<uint32_t> ReadScreen(Display* display, int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, width, height, AllPlanes, ZPixmap);
  if (!image) return pixels;
  pixels.reserve(static_cast<size_t>(width) * height);
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) pixels.push_back(XGetPixel(image, column, row) & 0xFFFFFF);
  }
  XDestroyImage(image);
  return pixels;
}

struct MessageLog {
  int paints = 0;
  int closes = 0;
  LPARAM lastSize = 0;
};
MessageLog messageLog;

LRESULT CALLBACK LoggingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) ++messageLog.paints;
  if (message == WM_CLOSE) {
    ++messageLog.closes;
    return 0;  // the test decides when the window goes
  }
  if (message == WM_SIZE) messageLog.lastSize = lParam;
  return DefWindowProcA(window, message, wParam, lParam);
}

// One server for the whole process: the platform opens its X connection
// once, at the first window shown, and keeps it until exit. The server is
// stopped at exit, after the platform has closed that connection (its exit
// handler is registered later, so it runs first).
vkt::test::XvfbServer* SharedServer() {
  static vkt::test::XvfbServer server;
  static const bool started = [] {
    if (!server.start("1024x768x24")) return false;
    setenv("DISPLAY", server.display().c_str(), 1);
    return true;
  }();
  return started ? &server : nullptr;
}

class X11WindowTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!vkt::test::xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(SharedServer(), nullptr);
    PlatformSetDisplayMode(nullptr);
    XInitThreads();
    display_ = XOpenDisplay(SharedServer()->display().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  Display* display_ = nullptr;
};

TEST_F(X11WindowTest, PictureAndOverlayReachTheScreen) {
  TestWindow window(200, 100, 704, 576);
  Picture picture = QuadrantPicture(352, 288);
  FakeSession session;
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(window.handle(), 352, 288, kFormatRgb), 1);
  renderer.SetDrawCallback(DrawOverlay, static_cast<OverlaySource*>(&session));
  ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
  // The renderer read the X screen's size at initialisation.
  EXPECT_EQ(renderer.DestinationRect().right, 200 + 704);

  std::vector<uint32_t> screen;
  const std::vector<uint32_t> client = window.ReadPixels();
  EXPECT_TRUE(Eventually([&] {
    screen = ReadScreen(display_, 200, 100, 704, 576);
    return screen == client;
  }));
  ASSERT_EQ(screen.size(), 704u * 576u);
  auto at = [&](int x, int y) { return screen[y * 704 + x]; };
  EXPECT_EQ(at(100, 400), 0x0000FFu);  // picture quadrants, doubled
  EXPECT_EQ(at(600, 400), 0xFFFF00u);
  EXPECT_EQ(at(600, 200), 0x00FF00u);
  EXPECT_EQ(at(2 * 338, 2 * 18), 0x00FF00u);  // dot centre (picture 328..348, 8..28)
  EXPECT_EQ(at(2 * 338, 2 * 8), 0x000000u);    // its outline
  int textPixels = 0;
  for (int y = 20; y < 52; ++y) {
    for (int x = 20; x < 20 + 2 * 19 * 8; ++x) textPixels += at(x, y) == 0;
  }
  EXPECT_GT(textPixels, 300);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(at(x, 30), 0xFF0000u);  // nothing left of the text
}

// The X window shown at (x, y) with that width, or 0.
Window ShownMirror(Display* display, int x, int y, int width) {
  Window root, parent, *children = nullptr, found = 0;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable &&
        attributes.x == x && attributes.y == y && attributes.width == width) {
      found = children[i];
    }
  }
  if (children) XFree(children);
  return found;
}

bool MirrorIsGone(Display* display, Window mirror) {
  XWindowAttributes attributes;
  XSync(display, False);
  return !XGetWindowAttributes(display, mirror, &attributes);
}

// A thread that ends with its window still open takes it off the screen.
// A title longer than a window name keeps its first 79 characters.
TEST_F(X11WindowTest, AWindowLeftOpenByAnEndedThreadLeavesTheScreen) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "X11PlainWindow";
  RegisterClassA(&windowClass);
  Window mirror = 0;
  std::string name;
  std::thread owner([&] {
    HWND window = CreateWindowExA(0, "X11PlainWindow", std::string(300, 't').c_str(), WS_OVERLAPPEDWINDOW, 70, 80,
                                  200, 150, nullptr, nullptr, nullptr, nullptr);
    ShowWindow(window, SW_SHOW);
    Eventually([&] { return (mirror = ShownMirror(display_, 70, 80, 200)) != 0; });
    char* title = nullptr;
    if (mirror && XFetchName(display_, mirror, &title)) name = title;
    if (title) XFree(title);
  });
  owner.join();
  ASSERT_NE(mirror, 0u);
  EXPECT_EQ(name, std::string(79, 't'));
  EXPECT_TRUE(Eventually([&] { return MirrorIsGone(display_, mirror); }));
}

TEST_F(X11WindowTest, XEventsReachTheWindowProcedure) {
  messageLog = MessageLog{};  // a repeated run starts from nothing seen
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = LoggingWindowProc;
  windowClass.lpszClassName = "X11LoggingWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "X11LoggingWindow", "log", WS_OVERLAPPEDWINDOW, 50, 60, 320, 240, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  EXPECT_TRUE(Eventually([] { return messageLog.paints > 0; }));

  Window mirror = 0;
  ASSERT_TRUE(Eventually([&] { return (mirror = ShownMirror(display_, 50, 60, 320)) != 0; }));
  // The cursor is where the X server has the pointer.
  XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, 123, 45);
  XSync(display_, False);
  POINT cursor{};
  ASSERT_TRUE(GetCursorPos(&cursor));
  EXPECT_EQ(cursor.x, 123);
  EXPECT_EQ(cursor.y, 45);
  char* title = nullptr;
  ASSERT_TRUE(XFetchName(display_, mirror, &title));
  EXPECT_STREQ(title, "log") << "the window's title names the X window";
  XFree(title);

  XResizeWindow(display_, mirror, 400, 300);
  XFlush(display_);
  EXPECT_TRUE(Eventually([] { return messageLog.lastSize == MAKELONG(400, 300); }));
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 300);

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = mirror;
  close.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  XSendEvent(display_, mirror, False, NoEventMask, &close);
  XFlush(display_);
  EXPECT_TRUE(Eventually([] { return messageLog.closes > 0; }));

  DestroyWindow(window);
  EXPECT_TRUE(Eventually([&] { return MirrorIsGone(display_, mirror); }));
}

// A child window is an X subwindow of its parent's: a picture drawn into
// it lands inside the parent on screen, follows the child when it moves,
// and every blit into it is counted as a picture shown there.
TEST_F(X11WindowTest, ChildWindowsAreSubwindowsOfTheirParent) {
  TestWindow parent(40, 30, 600, 400);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "X11ChildWindow";
  RegisterClassA(&windowClass);
  HWND child = CreateWindowExA(0, "X11ChildWindow", "", WS_CHILD | WS_VISIBLE, 100, 50, 176, 144, parent.handle(),
                               nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(child, 176, 144, kFormatRgb), 1);
  const Picture picture = SolidPicture(176, 144, 0x3366CC);

  const struct {
    int x, y;
  } places[] = {{100, 50}, {300, 200}};
  for (const auto& place : places) {
    MoveWindow(child, place.x, place.y, 176, 144, TRUE);
    ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
    EXPECT_TRUE(Eventually([&] {
      return ReadScreen(display_, 40 + place.x, 30 + place.y, 176, 144) ==
             std::vector<uint32_t>(176 * 144, 0x3366CC);
    })) << place.x;
  }
  PlatformWindowPictures shown{};
  ASSERT_TRUE(PlatformGetWindowPictures(child, &shown));
  EXPECT_EQ(shown.pictures, 2u);
  EXPECT_NE(shown.lastPictureTick, 0u);
  EXPECT_TRUE(PlatformGetWindowPictures(parent.handle(), &shown));
  EXPECT_EQ(shown.pictures, 0u) << "the parent itself was never drawn into";

  // On the X server: one subwindow of the parent's window, where the child is.
  Window found = 0;
  Window root, x11Parent, *children = nullptr;
  unsigned count = 0;
  XQueryTree(display_, DefaultRootWindow(display_), &root, &x11Parent, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    Window* inner = nullptr;
    unsigned innerCount = 0;
    XQueryTree(display_, children[i], &root, &x11Parent, &inner, &innerCount);
    XWindowAttributes attributes;
    if (innerCount == 1 && XGetWindowAttributes(display_, inner[0], &attributes) && attributes.x == 300 &&
        attributes.y == 200 && attributes.width == 176) {
      found = inner[0];
    }
    if (inner) XFree(inner);
  }
  if (children) XFree(children);
  EXPECT_NE(found, 0u);
  DestroyWindow(child);
  EXPECT_FALSE(PlatformGetWindowPictures(child, &shown));
}

// An application's own X window wrapped as an HWND: pictures land in it,
// scaled to its size, and the wrapper follows every resize the application
// makes. Releasing the wrapper leaves the X window to the application.
TEST_F(X11WindowTest, WrappedApplicationWindowFollowsItsResizes) {
  const int screen = DefaultScreen(display_);
  const Window own = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 120, 80, 320, 240, 0,
                                         WhitePixel(display_, screen), WhitePixel(display_, screen));
  XMapWindow(display_, own);
  HWND wrapper = PlatformWrapX11Window(display_, own);
  ASSERT_NE(wrapper, nullptr);
  EXPECT_EQ(PlatformWrapX11Window(display_, own), nullptr) << "wrapped twice";
  EXPECT_EQ(PlatformWrapX11Window(display_, own + 0x100000), nullptr) << "no such window";
  VideoRenderer renderer;
  ASSERT_EQ(renderer.Initialize(), 1);
  ASSERT_EQ(renderer.Configure(wrapper, 176, 144, kFormatRgb), 1);

  const struct {
    int width, height;
    uint32_t colour;
  } sizes[] = {{320, 240, 0x3366CC}, {500, 300, 0xCC6633}, {160, 120, 0x33CC66}};
  for (const auto& size : sizes) {
    XResizeWindow(display_, own, size.width, size.height);
    XFlush(display_);
    RECT client{};
    EXPECT_TRUE(Eventually([&] {
      return GetClientRect(wrapper, &client) && client.right == size.width && client.bottom == size.height;
    })) << size.width;
    const Picture picture = SolidPicture(176, 144, size.colour);
    ASSERT_EQ(renderer.DrawPicture(picture.bgr.data(), nullptr), DD_OK);
    EXPECT_TRUE(Eventually([&] {
      return ReadScreen(display_, 120, 80, size.width, size.height) ==
             std::vector<uint32_t>(static_cast<size_t>(size.width) * size.height, size.colour);
    })) << size.width;
  }

  TestWindow notWrapper(0, 0, 64, 64);
  EXPECT_FALSE(PlatformReleaseX11Window(notWrapper.handle()));
  EXPECT_TRUE(PlatformReleaseX11Window(wrapper));
  EXPECT_FALSE(PlatformReleaseX11Window(wrapper));
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display_, own, &attributes));
  EXPECT_EQ(attributes.map_state, IsViewable);
  XDestroyWindow(display_, own);
}

}  // namespace
