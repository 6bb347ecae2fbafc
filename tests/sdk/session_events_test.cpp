// Events and reconnection through the exported functions, against the
// simulator: the order events arrive in and the thread they arrive on, for
// refused logins (the wrong device kind both ways), a lost device with and
// without reconnection, a recording carried across the gap or stopped by a
// full disk (with its debug line), and callbacks that close their own handle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "reconnect_backoff.h"
#include "recording_reader.h"
#include "tests/common/debug_line_capture.h"
#include "tests/common/devsim_process.h"
#include "tests/common/message_pump.h"
#include "tests/display/display_test_support.h"
#include "vkt7100sdk_events.h"

namespace {

using vkt::test::DebugLinesWith;
using vkt::test::DevsimProcess;
using vkt::test::PumpFor;
using vkt::test::PumpUntil;

// What a handle's callback saw: event types in order (runs of
// VKT_EVENT_RECONNECTING as one), whether all came on the creating thread,
// every field that disagrees with what the device and the row imply, and
// optionally the type on which it closes its handle.
struct Listener {
  void* handle = nullptr;
  std::vector<int32_t> types;
  std::vector<std::string> wrongValues;
  int32_t refusal = 0, answerCode = 0;  // of the row's login
  uint32_t maxDelayMs = 0;
  int32_t attempt = 0;  // the last reconnection attempt announced
  std::string stopText;  // of VKT_EVENT_RECORD_STOPPED, after its channel and values
  bool foreignThread = false;
  int32_t closeOn = 0;
  int32_t switchOffOn = 0;  // the type on which it switches reconnection off
  bool closed = false;
  DWORD thread = GetCurrentThreadId();

  static void VKT_CALL Callback(void* handle, const VKT_Event* event, void* user) {
    auto* self = static_cast<Listener*>(user);
    self->foreignThread |= GetCurrentThreadId() != self->thread || handle != self->handle;
    if (self->closed) self->types.push_back(-1);  // nothing may follow a close
    if (self->types.empty() || event->type != VKT_EVENT_RECONNECTING || self->types.back() != event->type)
      self->types.push_back(event->type);
    self->CheckValues(*event);
    if (event->type == VKT_EVENT_RECORD_STOPPED)
      self->stopText = std::to_string(event->channel) + std::to_string(event->value1) + std::to_string(event->value2) +
                       " " + event->text;
    if (event->type == self->switchOffOn) VKT_SetReconnect(handle, 0);
    if (event->type == self->closeOn) {
      EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
      EXPECT_EQ(VKT_CloseChannel(handle, 0), VKT_ERR_PARAMETER);
      self->closed = true;
    }
  }
  bool Saw(int32_t type) const { return std::find(types.begin(), types.end(), type) != types.end(); }

  // The simulator's pictures are 352x288; a reconnection's waits follow the
  // documented backoff: the n-th at most min(max, 100 ms * 2^(n-1)), at
  // least half of that.
  void CheckValues(const VKT_Event& e) {
    const std::string text = e.text;
    bool right = e.channel == -1;
    switch (e.type) {
      case VKT_EVENT_FIRST_PICTURE:
      case VKT_EVENT_PICTURE_SIZE:
        right = e.channel == 0 && e.value1 == 352 && e.value2 == 288;
        break;
      case VKT_EVENT_CONNECTION_LOST:  // a killed device closes, or resets what it had not read
        right &= (e.value1 == VKT_LOST_CLOSED_BY_DEVICE && text == "the device closed the connection") ||
                 (e.value1 == VKT_LOST_NETWORK_ERROR && text == "the network connection failed");
        attempt = 0;
        break;
      case VKT_EVENT_RECONNECTING: {
        uint64_t longest = 100;
        for (int32_t n = 1; n < e.value1; ++n) longest *= 2;
        longest = std::min<uint64_t>(longest, maxDelayMs);
        right &= e.value1 == attempt + 1 && uint64_t(e.value2) <= longest && uint64_t(e.value2) * 2 >= longest;
        attempt = e.value1;
        break;
      }
      case VKT_EVENT_RECONNECTED: right &= e.value1 == attempt && e.value2 == 0; break;
      case VKT_EVENT_RECONNECT_ABANDONED:
        right &= e.value1 == VKT_ERR_NOT_CONNECTED && text == "reconnection switched off";
        break;
      case VKT_EVENT_LOGIN_REFUSED: right &= e.value1 == refusal && e.value2 == answerCode && !text.empty(); break;
      case VKT_EVENT_RECORD_STOPPED: right = true; break;  // its values are in stopText
      default: right = false;
    }
    if (!right)
      wrongValues.push_back(std::to_string(e.type) + ": " + std::to_string(e.channel) + " " +
                            std::to_string(e.value1) + " " + std::to_string(e.value2) + " " + text);
  }
};

size_t LineCount(const std::string& path) {
  std::ifstream in(path);
  return static_cast<size_t>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

constexpr int32_t kJpeg = VKT_KIND_JPEG, kH264 = VKT_KIND_H264, kFailed = VKT_ERR_LOGIN_FAILED;
constexpr int32_t kLost = VKT_EVENT_CONNECTION_LOST, kFirst = VKT_EVENT_FIRST_PICTURE,
                  kRetry = VKT_EVENT_RECONNECTING, kBack = VKT_EVENT_RECONNECTED, kRefused = VKT_EVENT_LOGIN_REFUSED,
                  kGaveUp = VKT_EVENT_RECONNECT_ABANDONED, kStopped = VKT_EVENT_RECORD_STOPPED;

}  // namespace

// Each row: a login refused within a second, or a device lost (once or
// twice); with reconnection the simulator comes back on the same port (at
// once, or after attempts that found nobody) and the channel shows
// pictures again; kind-5200 rows record across the gap, or onto a full
// disk.
TEST(SessionEvents, RefusalLossAndReconnectionInOrderOnTheCreatingThread) {
  struct Row {
    const char* what;
    int32_t kind, deviceKind;
    const char* password;
    int32_t login;
    uint32_t reconnectMs;
    int32_t closeOn, switchOffOn;
    const char* record;  // "gap": a file read back at the end
    std::vector<int32_t> expected;
    DWORD downMs = 0;  // how long the device stays away before it comes back
    int losses = 1;
  } rows[] = {
      {"7100 handle, 5200 device", kJpeg, kH264, "admin", kFailed, 0, 0, 0, nullptr, {kRefused}},
      {"5200 handle, 7100 device", kH264, kJpeg, "admin", kFailed, 0, 0, 0, nullptr, {kRefused}},
      {"wrong password", kJpeg, kJpeg, "nimda", VKT_ERR_LOGIN_DENIED, 0, 0, 0, nullptr, {kRefused}},
      {"7100, no reconnection", kJpeg, kJpeg, "admin", VKT_OK, 0, 0, 0, nullptr, {kFirst, kLost}},
      {"7100, reconnected", kJpeg, kJpeg, "admin", VKT_OK, 400, 0, 0, nullptr, {kFirst, kLost, kRetry, kBack, kFirst}},
      {"7100, reconnected after failed attempts", kJpeg, kJpeg, "admin", VKT_OK, 200, 0, 0, nullptr,
       {kFirst, kLost, kRetry, kBack, kFirst}, 800},
      {"7100, lost and reconnected twice", kJpeg, kJpeg, "admin", VKT_OK, 300, 0, 0, nullptr,
       {kFirst, kLost, kRetry, kBack, kFirst, kLost, kRetry, kBack, kFirst}, 0, 2},
      {"5200 recording, reconnected", kH264, kH264, "admin", VKT_OK, 400, 0, 0, "gap",
       {kFirst, kLost, kRetry, kBack, kFirst}},
      {"5200 recording on a full disk", kH264, kH264, "admin", VKT_OK, 0, 0, 0, "/dev/full", {kStopped, kFirst, kLost}},
      {"closed when lost", kJpeg, kJpeg, "admin", VKT_OK, 400, kLost, 0, nullptr, {kFirst, kLost}},
      {"closed while reconnecting", kH264, kH264, "admin", VKT_OK, 400, kRetry, 0, nullptr, {kFirst, kLost, kRetry}},
      {"switched off while reconnecting", kJpeg, kJpeg, "admin", VKT_OK, 400, 0, kRetry, nullptr,
       {kFirst, kLost, kRetry, kGaveUp}},
  };
  // Named per process: mutation checks run this binary from several trees at once.
  const std::string dir = testing::TempDir() + "vkt_events_" + std::to_string(getpid());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const size_t stopLines = DebugLinesWith("recording stopped: no space left on the device");
    const std::string logs[2] = {dir + "_blocks1.log", dir + "_blocks2.log"}, recording = dir + "_gap.rec";
    for (const std::string& log : logs) std::remove(log.c_str());
    auto devsim = std::make_unique<DevsimProcess>(row.deviceKind, std::vector<std::string>{"--picture-log", logs[0]});
    const uint16_t port = devsim->port();
    ASSERT_NE(port, 0);
    display_test::TestWindow window(0, 0, 352, 288);
    Listener listener;
    listener.closeOn = row.closeOn;
    listener.switchOffOn = row.switchOffOn;
    listener.refusal = row.login;
    listener.answerCode = row.kind != row.deviceKind ? VKT_ANSWER_WRONG_KIND : 2;  // 2: the password
    listener.maxDelayMs = row.reconnectMs;
    ASSERT_EQ(VKT_CreateHandle(row.kind, &listener.handle), VKT_OK);
    VKT_SetEventCallback(listener.handle, Listener::Callback, &listener);
    VKT_SetReconnect(listener.handle, row.reconnectMs);
    const DWORD start = timeGetTime();
    ASSERT_EQ(VKT_OpenServer(listener.handle, "127.0.0.1", port, "admin", row.password), row.login);
    if (row.login != VKT_OK) {
      EXPECT_LT(timeGetTime() - start, 1000u);
      PumpUntil(1000, [&] { return !listener.types.empty(); });
      EXPECT_EQ(listener.types, row.expected);
      EXPECT_EQ(listener.wrongValues, std::vector<std::string>{});
      EXPECT_FALSE(listener.foreignThread);
      VKT_CloseServer(listener.handle);
      continue;
    }
    ASSERT_EQ(VKT_OpenChannel(listener.handle, 0, window.handle()), VKT_OK);
    const bool records = row.record && std::string(row.record) == "gap";
    if (row.record) {
      ASSERT_EQ(VKT_StartRecord(listener.handle, 0, records ? recording.c_str() : row.record), VKT_OK);
    }
    const auto seen = [&](int32_t type) { return std::count(listener.types.begin(), listener.types.end(), type); };
    for (int loss = 1; loss <= row.losses; ++loss) {
      ASSERT_TRUE(PumpUntil(5000, [&] { return seen(kFirst) == loss; }));
      devsim->kill();
      ASSERT_TRUE(PumpUntil(5000, [&] {
        return seen(kLost) == loss && (!row.reconnectMs || listener.closed || seen(kRetry) == loss);
      }));
      if (!row.reconnectMs) continue;
      PumpFor(row.downMs);
      devsim = std::make_unique<DevsimProcess>(row.kind, std::vector<std::string>{"--picture-log", logs[1]},
                                               "127.0.0.1:" + std::to_string(port));
      ASSERT_EQ(devsim->port(), port);
      // Back within the longest wait and one attempt's work.
      PumpUntil(row.reconnectMs + 2000, [&] {
        return listener.types.size() >= row.expected.size() || seen(kFirst) > loss;
      });
    }
    if (records) {
      // Every block sent before the second loss is dispatched before its event.
      PumpFor(300);
      devsim->kill();
      PumpUntil(5000, [&] { return std::count(listener.types.begin(), listener.types.end(), kLost) == 2; });
      VKT_StopRecord(listener.handle, 0);
      std::ifstream in(recording, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      const RecordingContents contents = ReadRecording(bytes.data(), bytes.size());
      EXPECT_FALSE(contents.damaged()) << (contents.damages.empty() ? "" : contents.damages.front().problem);
      // A block the simulator sent as it was killed may miss its log line.
      const size_t sent = LineCount(logs[0]) + LineCount(logs[1]);
      EXPECT_GE(contents.pictures, sent);
      EXPECT_LE(contents.pictures, sent + 2);
      EXPECT_GE(contents.keyPictures, 2u);
      listener.types.resize(row.expected.size());
    }
    EXPECT_EQ(listener.types, row.expected);
    EXPECT_EQ(listener.wrongValues, std::vector<std::string>{});
    EXPECT_EQ(listener.stopText, listener.Saw(kStopped) ? "000 no space left on the device" : "");
    // Without an event callback, the debug line is the only word of the stop.
    EXPECT_EQ(DebugLinesWith("recording stopped: no space left on the device"), stopLines + listener.Saw(kStopped));
    EXPECT_FALSE(listener.foreignThread);
    if (!listener.closed) {
      EXPECT_EQ(VKT_CloseServer(listener.handle), VKT_OK);
    }
  }
  for (const char* name : {"_blocks1.log", "_blocks2.log", "_gap.rec"}) std::remove((dir + name).c_str());
}

TEST(SessionEvents, BackoffDoublesToTheMaximumWithJitterInTheUpperHalf) {
  struct Row {
    uint32_t attempt, maxMs, random, expected;
  } rows[] = {
      {1, 1000, 0, 50},     {1, 1000, 50, 100},   {2, 1000, 0, 100},         {4, 1000, 400, 800},
      {5, 1000, 0, 500},    {3, 150, 0, 75},      {1, 0, 7, 0},              {1, 60, 0, 30},
      {64, 5000, 2500, 5000}, {UINT32_MAX, UINT32_MAX, 0, UINT32_MAX - UINT32_MAX / 2},
  };
  for (const Row& row : rows)
    EXPECT_EQ(ReconnectDelayMs(row.attempt, row.maxMs, row.random), row.expected)
        << row.attempt << " " << row.maxMs << " " << row.random;
}
