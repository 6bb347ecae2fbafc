// The Xlib example as a user runs it: an Xvfb, the simulator, and
// examples/x11_view showing channel 0 in its own window. A screenshot of
// that window must show a picture (the channel's colour with its band of
// marks: several colours, hardly any black), not a blank or flat window,
// and the example must end by itself with status 0.
#include <gtest/gtest.h>
// After gtest: Xlib defines None, which gtest uses as a name.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "tests/common/devsim_process.h"
#include "tests/common/xvfb_server.h"

using namespace std::chrono_literals;

namespace {

struct Screenshot {
  size_t colours = 0;
  size_t blackPercent = 100;
};

// What the example's window (at 0,0, 704x576) shows, every other pixel.
Screenshot ExampleWindow(Display* display) {
  Screenshot shot;
  XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, 704, 576, AllPlanes, ZPixmap);
  if (!image) return shot;
  std::set<unsigned long> colours;
  size_t black = 0;
  for (int y = 0; y < 576; y += 2) {
    for (int x = 0; x < 704; x += 2) {
      const unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
      colours.insert(pixel);
      black += pixel == 0;
    }
  }
  XDestroyImage(image);
  shot.colours = colours.size();
  shot.blackPercent = black * 100 / (352 * 288);
  return shot;
}

// The exit status of `pid`, or -1 (and it is killed) if it did not end in time.
int WaitForExit(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(50ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(X11Example, ShowsVideoInItsOwnWindow) {
  if (!vkt::test::xvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
  vkt::test::XvfbServer server;
  ASSERT_TRUE(server.start("1024x768x24"));
  vkt::test::DevsimProcess device(7100, {"--user", "admin", "--password", "admin"});
  ASSERT_NE(device.port(), 0);
  const std::string port = std::to_string(device.port());
  const pid_t example = fork();
  if (example == 0) {
    setenv("DISPLAY", server.display().c_str(), 1);
    execl(VKT_X11_VIEW_PATH, "x11_view", "7100", "127.0.0.1", port.c_str(), "admin", "admin", "0", "4",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(example, 0);
  Display* display = XOpenDisplay(server.display().c_str());
  ASSERT_NE(display, nullptr);
  Screenshot shot;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while ((shot.colours < 4 || shot.blackPercent > 10) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
    shot = ExampleWindow(display);
  }
  XCloseDisplay(display);
  EXPECT_GE(shot.colours, 4u) << "the window is flat";
  EXPECT_LE(shot.blackPercent, 10u) << "the window is blank";
  EXPECT_EQ(WaitForExit(example, 20s), 0);
}
