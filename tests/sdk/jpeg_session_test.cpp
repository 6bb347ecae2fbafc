// The kind-7100 session against the simulated device over real TCP: the
// handshake and its failures, the channel bounds, the request timer and the
// masks the device receives, and pictures arriving in their windows.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "device_session.h"
#include "jpeg_device_session.h"
#include "tests/common/devsim_process.h"
#include "tests/display/display_test_support.h"
#include "tools/devsim/channel_picture.h"
#include "vkt7100sdk.h"

// The periods the session sets its picture timer to (0: killed), recorded
// on the way to the platform. (The platform, like Win32, runs periods below
// 10 ms at 10 ms.)
static std::vector<UINT> g_pictureTimerPeriods;

extern "C" UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
  static const auto next = reinterpret_cast<decltype(&SetTimer)>(dlsym(RTLD_NEXT, "SetTimer"));
  if (id == PICTURE_TIMER_ID) g_pictureTimerPeriods.push_back(elapse);
  return next(window, id, elapse, timerProc);
}

extern "C" BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  static const auto next = reinterpret_cast<decltype(&KillTimer)>(dlsym(RTLD_NEXT, "KillTimer"));
  if (id == PICTURE_TIMER_ID) g_pictureTimerPeriods.push_back(0);
  return next(window, id);
}

namespace {

using vkt::test::DevsimProcess;

// Dispatches this thread's messages until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = timeGetTime();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (timeGetTime() - start > timeoutMs) return false;
    Sleep(2);
  }
}
void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// A handle of kind 7100, closed with the object.
struct Handle {
  Handle() { VKT_CreateHandle(VKT_KIND_JPEG, &value); }
  ~Handle() { VKT_CloseServer(value); }
  int32_t Open(uint16_t port, const char* password = "admin") {
    return VKT_OpenServer(value, "127.0.0.1", port, "admin", password);
  }
  JpegDeviceSession* session() const { return static_cast<JpegDeviceSession*>(value); }
  void* value = nullptr;
};

// The masks the simulated device received, one line per picture request.
struct RequestLog {
  RequestLog() {
    char name[] = "/tmp/vkt-requests-XXXXXX";
    close(mkstemp(name));
    path = name;
  }
  ~RequestLog() { std::remove(path.c_str()); }
  // The masks logged after the first `from`.
  std::vector<std::string> Masks(size_t from = 0) const {
    std::vector<std::string> masks;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) masks.push_back(line);
    masks.erase(masks.begin(), masks.begin() + static_cast<ptrdiff_t>(std::min(from, masks.size())));
    return masks;
  }
  std::string path;
};

}  // namespace

TEST(JpegSession, HandshakeOutcomes) {
  struct Case {
    const char* name;
    std::vector<std::string> devsimArguments;
    const char* password;
    bool closedPort;
    int32_t expected;
  };
  const Case cases[] = {
      {"accepted", {}, "admin", false, VKT_OK},
      {"wrong password", {}, "nimda", false, VKT_ERR_LOGIN_DENIED},
      {"refused with code 7", {"--refuse-login", "7"}, "admin", false, VKT_ERR_LOGIN_FAILED},
      {"nobody listening", {}, "admin", true, VKT_ERR_NOT_CONNECTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DevsimProcess devsim(VKT_KIND_JPEG, c.devsimArguments);
    ASSERT_NE(devsim.port(), 0);
    const uint16_t port = c.closedPort ? vkt::test::closedLocalPort() : devsim.port();
    Handle handle;
    EXPECT_EQ(handle.Open(port, c.password), c.expected);
    if (c.expected != VKT_OK) continue;

    ServerInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(VKT_GetServerInfo(handle.value, &info), VKT_OK);
    EXPECT_STREQ(info.address, "127.0.0.1");
    EXPECT_EQ(info.port, port);
    EXPECT_EQ(info.channelCount, 4);  // the simulator's default
    EXPECT_EQ(info.deviceInfo[0], 1);
    EXPECT_EQ(info.deviceInfo[1], 2);
    EXPECT_EQ(info.deviceInfo[2], 3);
    EXPECT_GE(info.dateTime2[0], 2024);
    // One connection per handle: the second call leaves the first alone.
    EXPECT_EQ(handle.Open(port), VKT_ERR_PARAMETER);
    EXPECT_EQ(handle.session()->connected, 1);
  }
}

TEST(JpegSession, ConnectionLostDuringLoginIsNotConnected) {
  DevsimProcess devsim(VKT_KIND_JPEG, {"--stall"});
  ASSERT_NE(devsim.port(), 0);
  std::thread killer([&] {
    Sleep(1000);
    devsim.kill();
  });
  Handle handle;
  EXPECT_EQ(handle.Open(devsim.port()), VKT_ERR_NOT_CONNECTED);
  killer.join();
}

// The one slow test: a device that accepts and never answers the login.
TEST(JpegSession, SilentDeviceTimesOutTheLogin) {
  DevsimProcess devsim(VKT_KIND_JPEG, {"--stall"});
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  const DWORD start = timeGetTime();
  EXPECT_EQ(handle.Open(devsim.port()), VKT_ERR_LOGIN_TIMEOUT);
  const DWORD elapsed = timeGetTime() - start;
  EXPECT_GE(elapsed, 9900u);
  EXPECT_LT(elapsed, 20000u);
}

TEST(JpegSession, ChannelsFollowTheDevicesCountUpToSixteen) {
  struct Case {
    const char* channels;
    uint32_t lastOpen;
  };
  for (const Case& c : {Case{"1", 0}, Case{"4", 3}, Case{"15", 14}, Case{"16", 15}, Case{"17", 15}}) {
    SCOPED_TRACE(c.channels);
    DevsimProcess devsim(VKT_KIND_JPEG, {"--channels", c.channels});
    ASSERT_NE(devsim.port(), 0);
    Handle handle;
    ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
    EXPECT_EQ(VKT_OpenChannel(handle.value, c.lastOpen, nullptr), VKT_OK);
    EXPECT_EQ(VKT_OpenChannel(handle.value, c.lastOpen + 1, nullptr), VKT_ERR_PARAMETER);
    EXPECT_EQ(VKT_CloseChannel(handle.value, c.lastOpen + 1), VKT_ERR_PARAMETER);
    EXPECT_EQ(VKT_CloseChannel(handle.value, c.lastOpen), VKT_OK);
  }
}

TEST(JpegSession, TimerPeriodsAndRequestMasks) {
  RequestLog log;
  DevsimProcess devsim(VKT_KIND_JPEG, {"--channels", "8", "--request-log", log.path});
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
  auto logged = [&](const char* mask) {
    return PumpUntil([&] { auto m = log.Masks(); return std::find(m.begin(), m.end(), mask) != m.end(); }, 3000);
  };

  // Only channels 0 to 3 speed the timer; one from 4 up alone runs at the
  // one-channel rate.
  g_pictureTimerPeriods.clear();
  EXPECT_EQ(VKT_OpenChannel(handle.value, 5, nullptr), VKT_OK);
  EXPECT_TRUE(logged("0x20"));
  EXPECT_EQ(VKT_CloseChannel(handle.value, 5), VKT_OK);
  EXPECT_EQ(g_pictureTimerPeriods, (std::vector<UINT>{25, 0}));

  g_pictureTimerPeriods.clear();
  EXPECT_EQ(VKT_OpenChannel(handle.value, 0, nullptr), VKT_OK);
  EXPECT_TRUE(logged("0x1"));
  EXPECT_EQ(VKT_OpenChannel(handle.value, 2, nullptr), VKT_OK);
  EXPECT_TRUE(logged("0x5"));
  EXPECT_EQ(VKT_OpenChannel(handle.value, 1, nullptr), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(handle.value, 3, nullptr), VKT_OK);
  EXPECT_TRUE(logged("0xf"));
  EXPECT_EQ(VKT_OpenChannel(handle.value, 3, nullptr), VKT_OK);  // again: same mask, same period
  EXPECT_EQ(g_pictureTimerPeriods, (std::vector<UINT>{25, 12, 8, 6, 6}));

  // Closing keeps the period; the timer alone carries the smaller masks.
  EXPECT_EQ(VKT_CloseChannel(handle.value, 3), VKT_OK);
  EXPECT_EQ(VKT_CloseChannel(handle.value, 1), VKT_OK);
  EXPECT_EQ(VKT_CloseChannel(handle.value, 2), VKT_OK);
  Pump(500);  // requests already on their way
  size_t seen = log.Masks().size();
  Pump(300);
  std::vector<std::string> later = log.Masks(seen);
  EXPECT_FALSE(later.empty());
  EXPECT_EQ(std::count(later.begin(), later.end(), "0x1"), std::ssize(later));
  EXPECT_EQ(g_pictureTimerPeriods, (std::vector<UINT>{25, 12, 8, 6, 6}));

  // The last channel stops the timer and the requests.
  EXPECT_EQ(VKT_CloseChannel(handle.value, 0), VKT_OK);
  EXPECT_EQ(g_pictureTimerPeriods.back(), 0u);
  Pump(500);
  seen = log.Masks().size();
  Pump(300);
  EXPECT_TRUE(log.Masks(seen).empty());
}

// Every one of the 16 mask bits: each channel opened alone asks for its own
// bit, closed and reopened asks for it again; all open ask for all 16.
TEST(JpegSession, EveryChannelBitOpensClosesAndReopens) {
  RequestLog log;
  DevsimProcess devsim(VKT_KIND_JPEG, {"--channels", "16", "--request-log", log.path});
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
  auto requested = [&](const std::string& mask, size_t from) {
    return PumpUntil([&] { auto m = log.Masks(from); return std::find(m.begin(), m.end(), mask) != m.end(); }, 3000);
  };
  char mask[16];
  for (uint32_t channel = 0; channel < 16; ++channel) {
    std::snprintf(mask, sizeof mask, "0x%x", 1u << channel);
    SCOPED_TRACE(mask);
    for (int round = 0; round < 2; ++round) {
      const size_t seen = log.Masks().size();
      ASSERT_EQ(VKT_OpenChannel(handle.value, channel, nullptr), VKT_OK);
      EXPECT_TRUE(requested(mask, seen));
      ASSERT_EQ(VKT_CloseChannel(handle.value, channel), VKT_OK);
    }
  }
  const size_t seen = log.Masks().size();
  for (uint32_t channel = 0; channel < 16; ++channel) ASSERT_EQ(VKT_OpenChannel(handle.value, channel, nullptr), VKT_OK);
  EXPECT_TRUE(requested("0xffff", seen));
}

TEST(JpegSession, PicturesAreDrawnIntoTheirChannelsWindows) {
  DevsimProcess devsim(VKT_KIND_JPEG);
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
  display_test::TestWindow windows[2] = {{0, 0, 352, 288}, {400, 0, 352, 288}};
  ASSERT_EQ(VKT_OpenChannel(handle.value, 0, windows[0].handle()), VKT_OK);
  ASSERT_EQ(VKT_OpenChannel(handle.value, 3, windows[1].handle()), VKT_OK);

  // The middle of the picture is the channel's colour.
  auto shows = [&](int window, unsigned channel) {
    const std::vector<uint32_t> pixels = windows[window].ReadPixels();
    return !pixels.empty() &&
           display_test::ColourDistance(pixels[100 * 352 + 176], vkt::devsim::channelColour(channel)) <= 16;
  };
  EXPECT_TRUE(PumpUntil([&] { return shows(0, 0) && shows(1, 3); }, 5000));
  EXPECT_FALSE(shows(0, 3));
}
