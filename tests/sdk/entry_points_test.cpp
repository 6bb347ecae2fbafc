// The exported functions' own checks: kinds, the handle out-pointer, handle
// validation for every function (closed and forged handles included), and
// the calls every kind answers without a device.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <atomic>
#include <functional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "device_session.h"
#include "jpeg_device_session.h"
#include "session_memory.h"
#include "tests/platform/test_window.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_pictures.h"

namespace {

// Every function that takes a handle, with harmless other arguments.
std::vector<std::function<int32_t(void*)>> HandleFunctions() {
  static ServerInfo info{};
  info.size = sizeof info;
  static VKT_PICTURE_COUNTS counts{};
  counts.size = sizeof counts;
  return {
      [](void* h) { return VKT_OpenServer(h, "127.0.0.1", 1, "admin", "admin"); },
      [](void* h) { return VKT_CloseServer(h); },
      [](void* h) { return VKT_OpenChannel(h, 0, nullptr); },
      [](void* h) { return VKT_CloseChannel(h, 0); },
      [](void* h) { return VKT_GetServerInfo(h, &info); },
      [](void* h) { return VKT_StartRecord(h, 0, "/nonexistent/record.bin"); },
      [](void* h) { return VKT_StopRecord(h, 0); },
      [](void* h) { return VKT_GetPictureCounts(h, 0, &counts); },
  };
}

void ExpectEveryFunctionRefuses(const std::vector<void*>& handles) {
  const auto functions = HandleFunctions();
  for (size_t f = 0; f < functions.size(); ++f) {
    for (size_t h = 0; h < handles.size(); ++h) {
      EXPECT_EQ(functions[f](handles[h]), VKT_ERR_PARAMETER) << "function " << f << ", handle " << h;
    }
  }
}

void* NewHandle(int32_t kind) {
  void* handle = nullptr;
  EXPECT_EQ(VKT_CreateHandle(kind, &handle), VKT_OK);
  return handle;
}

}  // namespace

TEST(EntryPoints, CreateHandleRefusesUnknownKindsAndNullOutPointer) {
  for (int32_t kind : {0, 7101, 5201, -7100}) {
    void* handle = &kind;
    EXPECT_EQ(VKT_CreateHandle(kind, &handle), VKT_ERR_PARAMETER) << kind;
    EXPECT_EQ(handle, &kind) << kind;
  }
  EXPECT_EQ(VKT_CreateHandle(VKT_KIND_JPEG, nullptr), VKT_ERR_PARAMETER);
  EXPECT_EQ(VKT_CreateHandle(VKT_KIND_H264, nullptr), VKT_ERR_PARAMETER);
}

TEST(EntryPoints, EveryFunctionRefusesInvalidHandles) {
  // A readable page followed by an unreadable one.
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto* pages =
      static_cast<uint8_t*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  // The magic follows the table of virtual operations.
  auto withMagic = [&](size_t readableBytes, uint32_t magic) {
    uint8_t* object = pages + page - readableBytes;
    std::memcpy(object + sizeof(void*), &magic, sizeof magic);
    return object;
  };
  // A forged block: the magic and the size of a session, but never given out.
  std::vector<uint8_t> forged(sizeof(JpegDeviceSession));
  std::memcpy(forged.data() + sizeof(void*), &SESSION_MAGIC, sizeof SESSION_MAGIC);
  ExpectEveryFunctionRefuses({
      nullptr, pages + page,
      withMagic(100, SESSION_MAGIC),  // the magic, but fewer than the 328 bytes checked
      withMagic(400, SESSION_MAGIC ^ 1),
      withMagic(400, SESSION_MAGIC),
      forged.data(),
  });
  munmap(pages, 2 * page);
}

TEST(EntryPoints, ClosedHandlesStayRefusedWhileNewSessionsLive) {
  for (int32_t kind : {VKT_KIND_JPEG, VKT_KIND_H264}) {
    SCOPED_TRACE(kind);
    void* closed = NewHandle(kind);
    ASSERT_EQ(VKT_CloseServer(closed), VKT_OK);
    ExpectEveryFunctionRefuses({closed});
    // Sessions created after the close, of both kinds, never take over the
    // closed handle's address; the closed handle stays refused beside them.
    std::vector<void*> live;
    for (int i = 0; i < 32; ++i) live.push_back(NewHandle(i % 2 ? VKT_KIND_H264 : VKT_KIND_JPEG));
    for (void* handle : live) EXPECT_NE(handle, closed);
    ExpectEveryFunctionRefuses({closed});
    ServerInfo info{};
    info.size = sizeof info;
    for (void* handle : live) EXPECT_EQ(VKT_GetServerInfo(handle, &info), VKT_OK);
    for (void* handle : live) EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
    ExpectEveryFunctionRefuses(live);
  }
}

TEST(EntryPoints, ClosedHandleAddressesComeBackOnlyAfterTheQuarantine) {
  // Thousands of handles one after another: each is refused once closed,
  // its address is given out again only after a quarantine's worth of newer
  // handles has come and gone, and so only a bounded set of addresses is used.
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t quarantined = kQuarantineBytes / ((sizeof(JpegDeviceSession) + page - 1) / page * page);
  std::unordered_map<void*, size_t> closedAtCycle;
  size_t reuses = 0;
  for (size_t cycle = 0; cycle < 3 * quarantined; ++cycle) {
    void* handle = NewHandle(VKT_KIND_JPEG);
    const auto before = closedAtCycle.find(handle);
    if (before != closedAtCycle.end()) {
      ++reuses;
      ASSERT_GE(cycle - before->second, quarantined) << "cycle " << cycle;
    }
    ASSERT_EQ(VKT_CloseServer(handle), VKT_OK);
    ASSERT_EQ(VKT_CloseServer(handle), VKT_ERR_PARAMETER) << "cycle " << cycle;
    closedAtCycle[handle] = cycle;
  }
  EXPECT_GE(reuses, quarantined);
  EXPECT_LE(closedAtCycle.size(), quarantined + 64);
}

TEST(EntryPoints, DestructionClearsTheMagic) {
  // The object's memory is read after its destructor, as a stale handle
  // would be; the clear must not be dropped as a dead store.
  alignas(JpegDeviceSession) uint8_t memory[sizeof(JpegDeviceSession)];
  auto* session = new (memory) JpegDeviceSession();
  session->~JpegDeviceSession();
  uint32_t magic;
  std::memcpy(&magic, memory + sizeof(void*), sizeof magic);
  EXPECT_EQ(magic, 0u);
}

TEST(EntryPoints, ASessionClosedDuringItsOwnCallLivesUntilTheCallReturns) {
  // The application's window procedure closes the handle while VKT_OpenServer
  // waits (and dispatches the thread's messages): the wait goes on in a
  // session that is still whole, and the handle is refused from the close on.
  void* handle = NewHandle(VKT_KIND_JPEG);
  int32_t afterClose = 0;
  TestHandler closer = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_USER + 1) {
      EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
      afterClose = VKT_CloseChannel(handle, 0);
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = CreateTestWindow(&closer);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_USER + 1, 0, 0);
  // Nothing listens on port 1: the attempt fails and the wait ends.
  EXPECT_EQ(VKT_OpenServer(handle, "127.0.0.1", 1, "admin", "admin"), VKT_ERR_NOT_CONNECTED);
  EXPECT_EQ(afterClose, VKT_ERR_PARAMETER);
  ExpectEveryFunctionRefuses({handle});
  DestroyWindow(window);
}

TEST(EntryPoints, HandlesComeAndGoOnManyThreadsWhileOthersCallThem) {
  // Threads create and close handles of their own while others keep calling
  // one handle that the main thread closes under them: every answer is
  // either a whole call or a refusal.
  void* shared = NewHandle(VKT_KIND_JPEG);
  std::atomic<bool> closed{false};
  std::atomic<int> wrongAnswers{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        void* own = nullptr;
        if (VKT_CreateHandle(t % 2 ? VKT_KIND_H264 : VKT_KIND_JPEG, &own) != VKT_OK) ++wrongAnswers;
        ServerInfo info{};
        info.size = sizeof info;
        const bool closedBefore = closed.load();
        const int32_t onShared = VKT_GetServerInfo(shared, &info);
        if (onShared != VKT_ERR_PARAMETER && (closedBefore || onShared != VKT_OK)) ++wrongAnswers;
        if (VKT_CloseServer(own) != VKT_OK || VKT_GetServerInfo(own, &info) != VKT_ERR_PARAMETER) ++wrongAnswers;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(VKT_CloseServer(shared), VKT_OK);
  closed = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrongAnswers.load(), 0);
  ExpectEveryFunctionRefuses({shared});
}

TEST(EntryPoints, HandlesAnswerWithoutDevice) {
  for (int32_t kind : {VKT_KIND_JPEG, VKT_KIND_H264}) {
    SCOPED_TRACE(kind);
    void* handle = nullptr;
    ASSERT_EQ(VKT_CreateHandle(kind, &handle), VKT_OK);
    ASSERT_NE(handle, nullptr);
    if (kind == VKT_KIND_JPEG) {
      EXPECT_EQ(VKT_OpenServer(handle, nullptr, 80, "u", "p"), VKT_ERR_PARAMETER);
    }
    // Before a login the device has no channels.
    EXPECT_EQ(VKT_OpenChannel(handle, 0, nullptr), VKT_ERR_PARAMETER);
    EXPECT_EQ(VKT_CloseChannel(handle, 0), VKT_ERR_PARAMETER);

    EXPECT_EQ(VKT_GetServerInfo(handle, nullptr), VKT_ERR_PARAMETER);
    ServerInfo info;
    std::memset(&info, 0xAB, sizeof info);
    info.size = 113;
    EXPECT_EQ(VKT_GetServerInfo(handle, &info), VKT_ERR_PARAMETER);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&info)[4], 0xAB);
    info.size = 112;
    EXPECT_EQ(VKT_GetServerInfo(handle, &info), VKT_OK);
    ServerInfo empty{};
    empty.size = 112;
    EXPECT_EQ(std::memcmp(&info, &empty, sizeof info), 0);  // every byte written, the size kept

    EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
  }
}

TEST(EntryPoints, RecordingIsForChannelZeroOfKind5200Only) {
  void* jpeg = nullptr;
  void* h264 = nullptr;
  ASSERT_EQ(VKT_CreateHandle(VKT_KIND_JPEG, &jpeg), VKT_OK);
  ASSERT_EQ(VKT_CreateHandle(VKT_KIND_H264, &h264), VKT_OK);
  EXPECT_EQ(VKT_StartRecord(jpeg, 0, "/tmp/unused.bin"), VKT_ERR_NOT_SUPPORTED);
  EXPECT_EQ(VKT_StopRecord(jpeg, 0), VKT_ERR_NOT_SUPPORTED);
  EXPECT_EQ(VKT_StartRecord(h264, 1, "/tmp/unused.bin"), VKT_ERR_PARAMETER);
  // Picture counts: kind 7100's sixteen channels, kind 5200's one, a record
  // of the right size.
  const uint32_t full = sizeof(VKT_PICTURE_COUNTS);
  const struct {
    void* handle;
    uint32_t channel, size;
    int32_t result;
  } counts[] = {{jpeg, 0, full, VKT_OK}, {jpeg, 15, full, VKT_OK}, {jpeg, 16, full, VKT_ERR_PARAMETER},
                {jpeg, 0, full - 4, VKT_ERR_PARAMETER}, {h264, 0, full, VKT_OK},
                {h264, 1, full, VKT_ERR_PARAMETER}};
  for (const auto& c : counts) {
    VKT_PICTURE_COUNTS record{};
    record.size = c.size;
    EXPECT_EQ(VKT_GetPictureCounts(c.handle, c.channel, &record), c.result) << c.channel << " " << c.size;
  }
  EXPECT_EQ(VKT_CloseServer(jpeg), VKT_OK);
  EXPECT_EQ(VKT_CloseServer(h264), VKT_OK);
}
