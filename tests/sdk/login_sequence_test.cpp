// Sequences of calls through the exported functions, for both device
// kinds against the simulator: what ends the login wait, answers that come
// when nobody waits for them, a failed VKT_OpenServer followed by another,
// calls made from a thread that does not own the handle, the handle's own
// waits, and the calls refused because they cannot work.
#include <gtest/gtest.h>
// After gtest: Xlib defines None, which gtest uses as a name.
#include <X11/Xlib.h>

#include <algorithm>
#include <functional>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "debug_line.h"
#include "device_session.h"
#include "h264_device_session.h"
#include "tests/common/debug_line_capture.h"
#include "tests/common/devsim_process.h"
#include "tests/common/message_pump.h"
#include "tests/common/silent_listener.h"
#include "tests/common/xvfb_server.h"
#include "tests/display/display_test_support.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_timeouts.h"
#include "vkt7100sdk_x11.h"

namespace {

using vkt::test::DebugLinesWith;
using vkt::test::DevsimProcess;
using vkt::test::PumpFor;

// A handle of either kind, closed with the object.
struct Handle {
  explicit Handle(int32_t kind) { VKT_CreateHandle(kind, &value); }
  ~Handle() { VKT_CloseServer(value); }
  int32_t Open(uint16_t port, const char* password = "admin") const {
    return VKT_OpenServer(value, "127.0.0.1", port, "admin", password);
  }
  DeviceSession* session() const { return static_cast<DeviceSession*>(value); }
  void* value = nullptr;
};

}  // namespace

// Each row is one handle: a run of VKT_OpenServer calls and what each
// returns. A failed call leaves the handle ready for the next one; a
// logged-in handle refuses a second login. Whatever the device sends
// besides the awaited answer (a second ready notice, a second answer) does
// not change the outcome, and only a logged-in handle opens channel 0.
TEST(LoginSequence, FailedOpenServerCanBeRepeated) {
  struct Attempt {
    bool closedPort;
    const char* password;
    int32_t expected;
  };
  struct Case {
    const char* name;
    std::vector<std::string> devsimArguments;
    std::vector<Attempt> attempts;
    bool loggedIn;
  };
  const Case cases[] = {
      {"nobody listening, then the device", {}, {{true, "admin", VKT_ERR_NOT_CONNECTED}, {false, "admin", VKT_OK}}, true},
      {"wrong password, then the right one",
       {},
       {{false, "nope", VKT_ERR_LOGIN_DENIED}, {false, "nope", VKT_ERR_LOGIN_DENIED}, {false, "admin", VKT_OK}},
       true},
      {"logged in, then again", {}, {{false, "admin", VKT_OK}, {false, "admin", VKT_ERR_PARAMETER}}, true},
      {"ready twice", {"--ready-twice"}, {{false, "admin", VKT_OK}}, true},
      {"refusal, then an acceptance", {"--refuse-login", "2", "--extra-answer", "1"},
       {{false, "admin", VKT_ERR_LOGIN_DENIED}}, false},
      {"failure, then an acceptance", {"--refuse-login", "7", "--extra-answer", "1"},
       {{false, "admin", VKT_ERR_LOGIN_FAILED}}, false},
      {"acceptance, then a refusal", {"--extra-answer", "2"}, {{false, "admin", VKT_OK}}, true},
  };
  for (int32_t kind : {VKT_KIND_H264, VKT_KIND_JPEG}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(kind) + ": " + c.name);
      DevsimProcess devsim(kind, c.devsimArguments);
      ASSERT_NE(devsim.port(), 0);
      Handle handle(kind);
      for (size_t i = 0; i < c.attempts.size(); ++i) {
        const Attempt& a = c.attempts[i];
        EXPECT_EQ(handle.Open(a.closedPort ? vkt::test::closedLocalPort() : devsim.port(), a.password), a.expected)
            << "attempt " << i;
      }
      // Late packets have come in by now; none of them changed the outcome.
      PumpFor(200);
      EXPECT_EQ(handle.session()->loggedIn, c.loggedIn ? 1 : 0);
      EXPECT_EQ(VKT_OpenChannel(handle.value, 0, nullptr), c.loggedIn ? VKT_OK : VKT_ERR_PARAMETER);
    }
  }
}

// The one slow test of this file (both kinds at once, on threads of their
// own): the device answers the first login after the session gave up.
// The late answer is ignored with a debug line, and the handle logs in at
// the next attempt.
TEST(LoginSequence, AnAnswerAfterTheTimeoutIsIgnored) {
  const size_t linesBefore = DebugLinesWith("login answer outside a login wait ignored");
  auto run = [](int32_t kind) {
    SCOPED_TRACE(kind);
    DevsimProcess devsim(kind, {"--first-answer-delay", "10600"});
    ASSERT_NE(devsim.port(), 0);
    Handle handle(kind);
    EXPECT_EQ(handle.Open(devsim.port()), VKT_ERR_LOGIN_TIMEOUT);
    vkt::test::PumpUntil(3000, [&] { return handle.session()->connected == 0; });
    PumpFor(1500);
    EXPECT_EQ(handle.session()->loggedIn, 0);
    EXPECT_EQ(VKT_OpenChannel(handle.value, 0, nullptr), VKT_ERR_PARAMETER);
    EXPECT_EQ(handle.Open(devsim.port()), VKT_OK);
    EXPECT_EQ(VKT_OpenChannel(handle.value, 0, nullptr), VKT_OK);
  };
  std::thread other(run, VKT_KIND_JPEG);
  run(VKT_KIND_H264);
  other.join();
  EXPECT_EQ(DebugLinesWith("login answer outside a login wait ignored"), linesBefore + 2);
}

// A device that never answers the connection: each kind's own connect wait
// runs out (10 s for kind 7100, 11 s for kind 5200) and reports the
// connect timeout, not a loss from the transport giving up first. Both
// kinds at once, on threads of their own.
TEST(LoginSequence, AnUnansweredConnectIsAConnectTimeout) {
  auto run = [](int32_t kind, DWORD waitMs) {
    SCOPED_TRACE(kind);
    vkt::test::SilentListener silent;
    ASSERT_NE(silent.port(), 0);
    Handle handle(kind);
    const DWORD start = timeGetTime();
    EXPECT_EQ(handle.Open(silent.port()), VKT_ERR_CONNECT_TIMEOUT);
    const DWORD elapsed = timeGetTime() - start;
    EXPECT_GE(elapsed, waitMs - 50);
    EXPECT_LT(elapsed, waitMs + 1500);
  };
  std::thread other(run, VKT_KIND_JPEG, 10000);
  run(VKT_KIND_H264, 11000);
  other.join();
}

// Handles belong to the thread that created them: on any other thread every
// function fails at once with VKT_ERR_PARAMETER and a debug line, and the
// handle is left as it was for its own thread.
TEST(LoginSequence, CallsFromAnotherThreadAreRefusedAtOnce) {
  for (int32_t kind : {VKT_KIND_H264, VKT_KIND_JPEG}) {
    SCOPED_TRACE(kind);
    DevsimProcess devsim(kind);
    ASSERT_NE(devsim.port(), 0);
    void* handle = nullptr;
    ASSERT_EQ(VKT_CreateHandle(kind, &handle), VKT_OK);
    HWND window = static_cast<DeviceSession*>(handle)->window;
    const size_t refusedBefore = DebugLinesWith("refused: called on thread");
    std::vector<int32_t> results;
    DWORD elapsed = 0;
    std::thread stranger([&] {
      const DWORD start = timeGetTime();
      ServerInfo info{};
      info.size = sizeof info;
      results = {VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"),
                 VKT_OpenChannel(handle, 0, nullptr),
                 VKT_CloseChannel(handle, 0),
                 VKT_GetServerInfo(handle, &info),
                 VKT_StartRecord(handle, 0, "/tmp/vkt-never-written.bin"),
                 VKT_StopRecord(handle, 0),
                 VKT_CloseServer(handle)};
      elapsed = timeGetTime() - start;
    });
    stranger.join();
    EXPECT_EQ(results, std::vector<int32_t>(7, VKT_ERR_PARAMETER));
    EXPECT_LT(elapsed, 1000u);
    EXPECT_EQ(DebugLinesWith("refused: called on thread"), refusedBefore + 7);
    // Nothing was torn down: the owner still uses and closes the handle.
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"), VKT_OK);
    EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
    EXPECT_FALSE(IsWindow(window));
  }
}

// Each row is one debug line's body length: a line too long for the
// library's buffer is cut, and every line still ends with its newline.
TEST(LoginSequence, DebugLinesEndWithTheirNewlineHoweverLong) {
  const std::string prefix = "VKT7100SDK: ";
  const size_t longestBody = 512 - prefix.size() - 2;  // with its newline and terminator: 512 bytes
  for (const size_t length : {size_t{0}, size_t{40}, longestBody, longestBody + 1, size_t{900}}) {
    SCOPED_TRACE(length);
    const std::string body(length, 'x');
    SdkDebugLine("%s", body.c_str());
    EXPECT_EQ(vkt::test::LastDebugLine(), prefix + body.substr(0, std::min(length, longestBody)) + "\n");
  }
}

// Each row is one VKT_SetTimeouts call: 0 or a value within the range is
// taken, a value just outside it at either end is refused.
TEST(LoginSequence, TimeoutsAreTakenOnlyWithinTheirRange) {
  const struct {
    uint32_t connectMs, loginMs;
    int32_t expected;
  } rows[] = {
      {0, 0, VKT_OK},
      {VKT_TIMEOUT_MIN_MS, VKT_TIMEOUT_MAX_MS, VKT_OK},
      {VKT_TIMEOUT_MAX_MS, VKT_TIMEOUT_MIN_MS, VKT_OK},
      {VKT_TIMEOUT_MIN_MS - 1, 1000, VKT_ERR_PARAMETER},
      {VKT_TIMEOUT_MAX_MS + 1, 1000, VKT_ERR_PARAMETER},
      {1000, VKT_TIMEOUT_MIN_MS - 1, VKT_ERR_PARAMETER},
      {1000, VKT_TIMEOUT_MAX_MS + 1, VKT_ERR_PARAMETER},
  };
  Handle handle(VKT_KIND_JPEG);
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.connectMs) + "/" + std::to_string(row.loginMs));
    EXPECT_EQ(VKT_SetTimeouts(handle.value, row.connectMs, row.loginMs), row.expected);
  }
}

// Each row is a device that leaves one wait unanswered, with short waits
// set: VKT_OpenServer returns the wait's code after that wait's time, not
// the 10 s default, nor the waits of a refused VKT_SetTimeouts after them.
// A connect that never completes (a full listen backlog) is abandoned with
// the wait: the transport is gone when the call returns.
TEST(LoginSequence, TheHandlesWaitsBoundVktOpenServer) {
  struct Row {
    int32_t kind;
    std::vector<std::string> device;  // empty: a port whose backlog is full
    uint32_t connectMs, loginMs;
    int32_t expected;
    DWORD waitMs;
  };
  const Row rows[] = {
      {VKT_KIND_JPEG, {}, 1000, 10000, VKT_ERR_CONNECT_TIMEOUT, 1000},
      {VKT_KIND_H264, {}, 1000, 10000, VKT_ERR_CONNECT_TIMEOUT, 1000},
      {VKT_KIND_H264, {"--no-ready"}, 1000, 10000, VKT_ERR_CONNECT_TIMEOUT, 1000},
      {VKT_KIND_JPEG, {"--no-ready"}, 10000, 1000, VKT_ERR_LOGIN_TIMEOUT, 1000},
      {VKT_KIND_H264, {"--first-answer-delay", "5000"}, 10000, 600, VKT_ERR_LOGIN_TIMEOUT, 600},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.kind) + (row.device.empty() ? " full backlog" : " " + row.device[0]));
    vkt::test::SilentListener silent;
    std::unique_ptr<DevsimProcess> device;
    if (!row.device.empty()) device = std::make_unique<DevsimProcess>(row.kind, row.device);
    const uint16_t port = device ? device->port() : silent.port();
    Handle handle(row.kind);
    ASSERT_EQ(VKT_SetTimeouts(handle.value, row.connectMs, row.loginMs), VKT_OK);
    ASSERT_EQ(VKT_SetTimeouts(handle.value, 5000, VKT_TIMEOUT_MAX_MS + 1), VKT_ERR_PARAMETER);
    const DWORD start = timeGetTime();
    EXPECT_EQ(handle.Open(port), row.expected);
    const DWORD elapsed = timeGetTime() - start;
    EXPECT_GE(elapsed, row.waitMs - 50);
    EXPECT_LT(elapsed, row.waitMs + 500);
    if (!device) {
      EXPECT_EQ(handle.session()->transport, nullptr);
    }
  }
}

// Each row is a call that cannot work, made while channel 0 of `jpeg`
// draws into `window`, channel 1 into a wrapped X11 window (when Xvfb is
// installed) and `h264` records: it is refused with a debug line and what
// it would have broken goes on. Reopening a channel in its own window is
// not refused.
TEST(LoginSequence, CallsThatCannotWorkAreRefused) {
  DevsimProcess jpegDevice(VKT_KIND_JPEG), h264Device(VKT_KIND_H264);
  Handle jpeg(VKT_KIND_JPEG), jpegOther(VKT_KIND_JPEG), h264(VKT_KIND_H264);
  ASSERT_EQ(jpeg.Open(jpegDevice.port()), VKT_OK);
  ASSERT_EQ(jpegOther.Open(jpegDevice.port()), VKT_OK);
  ASSERT_EQ(h264.Open(h264Device.port()), VKT_OK);
  display_test::TestWindow shared(0, 0, 176, 144);
  const HWND window = shared.handle();
  ASSERT_EQ(VKT_OpenChannel(jpeg.value, 0, window), VKT_OK);
  const std::string recording = testing::TempDir() + "refused-calls.rec";
  ASSERT_EQ(VKT_StartRecord(h264.value, 0, recording.c_str()), VKT_OK);
  struct Row {
    const char* call;
    std::function<int32_t()> run;
    int32_t expected;
  };
  std::vector<Row> rows = {
      {"VKT_OpenChannel", [&] { return VKT_OpenChannel(jpeg.value, 2, window); }, VKT_ERR_PARAMETER},
      {"VKT_OpenChannel", [&] { return VKT_OpenChannel(jpegOther.value, 0, window); }, VKT_ERR_PARAMETER},
      {"VKT_OpenChannel", [&] { return VKT_OpenChannel(h264.value, 0, window); }, VKT_ERR_PARAMETER},
      {"VKT_StopRecord", [&] { return VKT_StopRecord(h264.value, 3); }, VKT_ERR_PARAMETER},
      {"VKT_OpenChannel", [&] { return VKT_OpenChannel(jpeg.value, 0, window); }, VKT_OK},
  };
  // The platform keeps its X connection until exit, so the server is one
  // for the process, made before that connection and stopped after it.
  static vkt::test::XvfbServer server;
  static const bool x11 = vkt::test::xvfbInstalled() && server.start("640x480x24");
  Display* display = x11 ? XOpenDisplay(server.display().c_str()) : nullptr;
  HWND wrapped = nullptr;
  if (display) {
    const Window x = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 176, 144, 0, 0, 0);
    ASSERT_EQ(VKT_WrapX11Window(display, x, &wrapped), VKT_OK);
    ASSERT_EQ(VKT_OpenChannel(jpeg.value, 1, wrapped), VKT_OK);
    rows.push_back({"VKT_ReleaseX11Window", [&] { return VKT_ReleaseX11Window(wrapped); }, VKT_ERR_PARAMETER});
  }
  for (const Row& row : rows) {
    const size_t refusedBefore = DebugLinesWith(std::string(row.call) + " refused");
    EXPECT_EQ(row.run(), row.expected) << row.call << ", row " << &row - rows.data();
    EXPECT_EQ(DebugLinesWith(std::string(row.call) + " refused"), refusedBefore + (row.expected != VKT_OK));
  }
  EXPECT_TRUE(static_cast<H264DeviceSession*>(h264.session())->recorder.IsOpen());
  // A move, a close or its handle's close frees a channel's window; other handles' claims stay.
  display_test::TestWindow other(0, 0, 176, 144), third(0, 0, 176, 144);
  EXPECT_EQ(VKT_OpenChannel(jpeg.value, 0, other.handle()), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(h264.value, 0, window), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(h264.value, 0, third.handle()), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(jpegOther.value, 0, window), VKT_OK);
  EXPECT_EQ(VKT_CloseChannel(jpegOther.value, 0), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(h264.value, 0, window), VKT_OK);
  EXPECT_EQ(VKT_CloseServer(jpeg.value), VKT_OK);
  jpeg.value = nullptr;
  EXPECT_EQ(VKT_OpenChannel(jpegOther.value, 1, other.handle()), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(jpegOther.value, 0, window), VKT_ERR_PARAMETER);
  if (display) {
    EXPECT_EQ(VKT_ReleaseX11Window(wrapped), VKT_OK);
    XCloseDisplay(display);
  }
  std::remove(recording.c_str());
}
