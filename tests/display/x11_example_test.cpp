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

// Colours and the share of black pixels (percent) in the example's window
// (at 0,0, 704x576), every other pixel.
std::pair<size_t, size_t> ExampleWindow(Display* display) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), 0, 0, 704, 576, AllPlanes, ZPixmap);
  if (!image) return {0, 100};
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
  return {colours.size(), black * 100 / (352 * 288)};
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
  auto [colours, blackPercent] = ExampleWindow(display);
  for (int tries = 0; (colours < 4 || blackPercent > 10) && tries < 100; ++tries) {
    std::this_thread::sleep_for(100ms);
    std::tie(colours, blackPercent) = ExampleWindow(display);
  }
  XCloseDisplay(display);
  EXPECT_GE(colours, 4u) << "the window is flat";
  EXPECT_LE(blackPercent, 10u) << "the window is blank";

  // It ends by itself after its 4 s; killed after 20 s.
  int status = -1;
  for (int tries = 0; waitpid(example, &status, WNOHANG) == 0; ++tries) {
    if (tries == 400) kill(example, SIGKILL);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
