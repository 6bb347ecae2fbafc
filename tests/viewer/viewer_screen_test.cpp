// vkt-viewer on a real X server, as a user sees it: Xvfb with a 1280x800
// screen, the simulator serving sixteen channels, the viewer showing them
// all, and screenshots of the whole screen taken with ImageMagick's
// `import -window root`. Each tile must show its channel's test-card colour
// inside the screen; resizing the window through the X server resizes the
// tiles and the next pictures fill them; keys fill a tile, save snapshots
// and quit with every channel closed; a lost device darkens the tiles.
#include <gtest/gtest.h>
// After gtest: Xlib defines None, which gtest uses as a name.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "channel_picture.h"
#include "grid_layout.h"
#include "tests/common/devsim_process.h"
#include "tests/common/xvfb_server.h"

using namespace std::chrono_literals;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

bool ProgramInstalled(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The viewer as a child process with DISPLAY set, its output in a file.
class ViewerProcess {
 public:
  ViewerProcess(const std::string& display, const std::vector<std::string>& arguments, const std::string& output) {
    pid_ = fork();
    if (pid_ == 0) {
      setenv("DISPLAY", display.c_str(), 1);
      if (!freopen(output.c_str(), "w", stdout)) _exit(127);
      std::vector<std::string> all = {VKT_VIEWER_PATH};
      all.insert(all.end(), arguments.begin(), arguments.end());
      std::vector<char*> argv;
      for (std::string& a : all) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~ViewerProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  // The exit status, or -1 if it did not end within `limit`.
  int wait(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  uint32_t at(int x, int y) const {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
  }
};

// The whole X screen, through ImageMagick and a PNG file.
Screenshot TakeScreenshot(const std::string& display, const std::string& path) {
  Screenshot shot;
  const std::string command = "DISPLAY=" + display + " import -window root " + path + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return shot;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return shot;
  image.format = PNG_FORMAT_RGB;
  shot.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, shot.rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    shot.rgb.clear();
    return shot;
  }
  shot.width = static_cast<int>(image.width);
  shot.height = static_cast<int>(image.height);
  return shot;
}

int Distance(uint32_t a, uint32_t b) {
  int largest = 0;
  for (int shift : {0, 8, 16}) largest = std::max(largest, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
  return largest;
}

// Tiles (of `tiles` in a client area of width x height at the screen's top
// left) whose picture does not show its channel's colour (at half
// brightness if `darkened`), sampled at five points of the picture's colour
// part, near its corners and centre: a picture that does not fill its tile
// fails at the corners.
std::vector<int> WrongTiles(const Screenshot& shot, int tiles, int width, int height, bool darkened = false) {
  std::vector<int> wrong;
  for (int tile = 0; tile < tiles; ++tile) {
    const RECT r = vkt::viewer::tileRect(tile, tiles, width, height);
    const int w = r.right - r.left, h = r.bottom - r.top;
    // The colour fills the top 256 of the picture's 288 rows.
    const int samples[][2] = {{4, 4}, {w - 5, 4}, {w / 2, h / 3}, {4, h * 80 / 100}, {w - 5, h * 80 / 100}};
    for (const auto& s : samples) {
      const int x = r.left + s[0], y = r.top + s[1];
      const uint32_t colour = vkt::devsim::channelColour(static_cast<unsigned>(tile));
      if (x >= shot.width || y >= shot.height || Distance(shot.at(x, y), darkened ? colour >> 1 & 0x7F7F7F : colour) > 24) {
        wrong.push_back(tile);
        break;
      }
    }
  }
  return wrong;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The viewer's top-level X window: the root's child whose title names the kind.
Window FindViewerWindow(Display* display) {
  Window root, parent, *children = nullptr, found = 0;
  unsigned count = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name) {
      if (std::string(name).find("kind 7100") != std::string::npos) found = children[i];
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

void SendKey(Display* display, Window window, KeySym symbol) {
  XEvent event{};
  event.xkey.type = KeyPress;
  event.xkey.display = display;
  event.xkey.window = window;
  event.xkey.root = DefaultRootWindow(display);
  event.xkey.keycode = XKeysymToKeycode(display, symbol);
  event.xkey.same_screen = True;
  XSendEvent(display, window, True, KeyPressMask, &event);
  XFlush(display);
}

bool Eventually(std::chrono::seconds limit, const std::function<bool()>& check) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!check()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(200ms);
  }
  return true;
}

class ViewerScreenTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!vkt::test::xvfbInstalled() || !ProgramInstalled("import")) {
      GTEST_SKIP() << "Xvfb or ImageMagick's import is not installed (scripts/deps.sh installs both)";
    }
    ASSERT_TRUE(xvfb_.start(std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24"));
    display_ = XOpenDisplay(xvfb_.display().c_str());
    ASSERT_NE(display_, nullptr);
    char pattern[] = "/tmp/vkt-viewer-screen-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
    if (!directory_.empty()) std::system(("rm -rf " + directory_).c_str());
  }

  vkt::test::XvfbServer xvfb_;
  Display* display_ = nullptr;
  std::string directory_;
};

TEST_F(ViewerScreenTest, SixteenChannelsInOneWindowResizedFilledSavedAndQuit) {
  vkt::test::DevsimProcess devsim(7100, {"--channels", "16"});
  ASSERT_NE(devsim.port(), 0);
  const std::string output = directory_ + "/viewer.out";
  ViewerProcess viewer(xvfb_.display(),
                       {"--kind", "7100", "--port", std::to_string(devsim.port()), "--channels", "16", "--seconds",
                        "120", "--snapshot", directory_},
                       output);

  Window window = 0;
  ASSERT_TRUE(Eventually(20s, [&] { return (window = FindViewerWindow(display_)) != 0; })) << ReadFile(output);
  EXPECT_EQ(FindViewerWindow(display_), window) << "one top-level window";
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display_, window, &attributes));
  EXPECT_LE(attributes.x + attributes.width, kScreenWidth);
  EXPECT_LE(attributes.y + attributes.height, kScreenHeight);
  const int width = attributes.width, height = attributes.height;

  // Every tile shows its channel, stretched over the whole tile.
  Screenshot shot;
  std::vector<int> wrong;
  EXPECT_TRUE(Eventually(30s, [&] {
    shot = TakeScreenshot(xvfb_.display(), directory_ + "/grid.png");
    wrong = WrongTiles(shot, 16, width, height);
    return shot.width == kScreenWidth && wrong.empty();
  })) << "tiles without their colour: " << testing::PrintToString(wrong) << "\n" << ReadFile(output);

  // Smaller through the X server: the tiles follow and the pictures fill them.
  XResizeWindow(display_, window, 640, 400);
  XFlush(display_);
  EXPECT_TRUE(Eventually(30s, [&] {
    shot = TakeScreenshot(xvfb_.display(), directory_ + "/resized.png");
    wrong = WrongTiles(shot, 16, 640, 400);
    return shot.width == kScreenWidth && wrong.empty() && shot.at(700, 300) == 0 && shot.at(300, 450) == 0;
  })) << "tiles without their colour: " << testing::PrintToString(wrong);

  // Key 2: the second channel fills the window; again: the grid is back.
  SendKey(display_, window, XK_2);
  EXPECT_TRUE(Eventually(30s, [&] {
    shot = TakeScreenshot(xvfb_.display(), directory_ + "/filled.png");
    return shot.width == kScreenWidth && Distance(shot.at(10, 10), vkt::devsim::channelColour(1)) <= 24 &&
           Distance(shot.at(630, 300), vkt::devsim::channelColour(1)) <= 24;
  }));
  SendKey(display_, window, XK_2);
  EXPECT_TRUE(Eventually(30s, [&] {
    shot = TakeScreenshot(xvfb_.display(), directory_ + "/grid-again.png");
    return shot.width == kScreenWidth && WrongTiles(shot, 16, 640, 400).empty();
  }));

  // s saves every tile; q quits with every channel and the server closed.
  SendKey(display_, window, XK_s);
  struct stat info;
  EXPECT_TRUE(Eventually(20s, [&] { return stat((directory_ + "/snapshot1-channel15.png").c_str(), &info) == 0; }));
  SendKey(display_, window, XK_q);
  EXPECT_EQ(viewer.wait(30s), 0) << ReadFile(output);
  const std::string log = ReadFile(output);
  for (int channel = 0; channel < 16; ++channel) {
    const std::string closed = "close channel " + std::to_string(channel);
    EXPECT_NE(log.find(closed + std::string(18 - closed.size(), ' ') + " 0x00000000 ok"), std::string::npos)
        << closed << "\n" << log;
  }
  EXPECT_NE(log.find("close server       0x00000000 ok"), std::string::npos) << log;
  EXPECT_TRUE(Eventually(10s, [&] { return FindViewerWindow(display_) == 0; })) << "the window went with the viewer";
}

TEST_F(ViewerScreenTest, ALostDeviceDarkensTheTilesAndEndsNonZero) {
  vkt::test::DevsimProcess devsim(7100);
  ASSERT_NE(devsim.port(), 0);
  const std::string output = directory_ + "/viewer.out";
  ViewerProcess viewer(xvfb_.display(),
                       {"--kind", "7100", "--port", std::to_string(devsim.port()), "--channels", "4", "--seconds",
                        "15"},
                       output);
  Window window = 0;
  ASSERT_TRUE(Eventually(20s, [&] { return (window = FindViewerWindow(display_)) != 0; })) << ReadFile(output);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display_, window, &attributes));
  Screenshot shot;
  EXPECT_TRUE(Eventually(30s, [&] {
    shot = TakeScreenshot(xvfb_.display(), directory_ + "/live.png");
    return shot.width == kScreenWidth && WrongTiles(shot, 4, attributes.width, attributes.height).empty();
  }));

  devsim.kill();
  EXPECT_TRUE(Eventually(15s, [&] {
    shot = TakeScreenshot(xvfb_.display(), directory_ + "/lost.png");
    return shot.width == kScreenWidth && WrongTiles(shot, 4, attributes.width, attributes.height, true).empty();
  })) << ReadFile(output);
  EXPECT_EQ(viewer.wait(40s), 1) << "lost is a failure, even when --seconds ends the run\n" << ReadFile(output);
  EXPECT_NE(ReadFile(output).find("device lost"), std::string::npos) << ReadFile(output);
}

}  // namespace
