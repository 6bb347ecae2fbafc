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
#include "tests/common/message_pump.h"
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

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) { return vkt::test::PumpUntil(timeoutMs, done); }
void Pump(DWORD ms) { vkt::test::PumpFor(ms); }

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

TEST(JpegSession, ALostConnectionIsToldToTheCallsThatNeedIt) {
  DevsimProcess devsim(VKT_KIND_JPEG);
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
  display_test::TestWindow window(0, 0, 352, 288);
  ASSERT_EQ(VKT_OpenChannel(handle.value, 0, window.handle()), VKT_OK);
  Pump(300);
  g_pictureTimerPeriods.clear();
  devsim.kill();
  // Told once the transport's message is dispatched, whatever the
  // arguments: a channel the device lacks is the probe that changes nothing
  // while the device is there.
  EXPECT_TRUE(PumpUntil([&] { return VKT_OpenChannel(handle.value, 99, nullptr) == VKT_ERR_NOT_CONNECTED; }, 2000));
  EXPECT_EQ(VKT_OpenChannel(handle.value, 1, window.handle()), VKT_ERR_NOT_CONNECTED);
  EXPECT_EQ(g_pictureTimerPeriods, std::vector<UINT>{0});  // no more requests into the void
  EXPECT_EQ(VKT_StartRecord(handle.value, 0, "/tmp/unused.bin"), VKT_ERR_NOT_SUPPORTED);
  // Winding down still works.
  ServerInfo info{};
  info.size = sizeof info;
  EXPECT_EQ(VKT_GetServerInfo(handle.value, &info), VKT_OK);
  EXPECT_EQ(VKT_CloseChannel(handle.value, 0), VKT_OK);
}

// Sixteen channels open at once: one request names them all, the timer
// runs at the four-channel rate, and closing the last one stops it.
TEST(JpegSession, SixteenChannelsOpenTogether) {
  RequestLog log;
  DevsimProcess devsim(VKT_KIND_JPEG, {"--channels", "16", "--request-log", log.path});
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
  g_pictureTimerPeriods.clear();
  for (uint32_t channel = 0; channel < 16; ++channel) EXPECT_EQ(VKT_OpenChannel(handle.value, channel, nullptr), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(handle.value, 16, nullptr), VKT_ERR_PARAMETER);
  EXPECT_EQ(handle.session()->channelMask, 0xFFFFu);
  EXPECT_TRUE(PumpUntil([&] { auto m = log.Masks(); return std::find(m.begin(), m.end(), "0xffff") != m.end(); }, 3000));
  EXPECT_EQ(g_pictureTimerPeriods.back(), 6u);
  for (uint32_t channel = 0; channel < 16; ++channel) EXPECT_EQ(VKT_CloseChannel(handle.value, channel), VKT_OK);
  EXPECT_EQ(g_pictureTimerPeriods.back(), 0u);
  for (VideoRenderer* renderer : handle.session()->renderers) EXPECT_EQ(renderer, nullptr);
}

// The first picture request of a channel cannot go out (the connection
// broke and the session has not heard yet): the call says so, but the channel stays set up, renderer, mask bit
// and timer, as if the request had been sent.
TEST(JpegSession, AFailedFirstRequestKeepsTheChannel) {
  DevsimProcess devsim(VKT_KIND_JPEG);
  ASSERT_NE(devsim.port(), 0);
  Handle handle;
  ASSERT_EQ(handle.Open(devsim.port()), VKT_OK);
  devsim.kill();
  // The transport has seen the loss, but its message is not dispatched yet:
  // the session still counts itself connected, and the request fails.
  MSG pending;
  const DWORD start = timeGetTime();
  while (!PeekMessageA(&pending, nullptr, WM_TRANSPORT_CLOSE, WM_TRANSPORT_CLOSE, PM_NOREMOVE)) {
    ASSERT_LT(timeGetTime() - start, 5000u);
    Sleep(2);
  }
  ASSERT_NE(handle.session()->connected, 0);
  g_pictureTimerPeriods.clear();
  EXPECT_EQ(VKT_OpenChannel(handle.value, 1, nullptr), VKT_ERR_TRANSPORT);
  EXPECT_NE(handle.session()->renderers[1], nullptr);
  EXPECT_EQ(handle.session()->channelMask, 0x2u);
  EXPECT_EQ(g_pictureTimerPeriods, std::vector<UINT>{25});
}
