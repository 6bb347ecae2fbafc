// The Windows libraries as an application meets them: VKT7100SDK.dll loaded
// at run time (its entry point, its undecorated exports, loading again
// after a release), the "USECPU" override read from the real registry, and
// sessions of both kinds against the Linux simulator through Winsock, with
// their events and reconnection.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "processor_dispatch.h"
#include "tests/common/devsim_process.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_callbacks.h"
#include "vkt7100sdk_events.h"
#include "vkt7100sdk_pictures.h"

namespace {

const char* const kExports[] = {"VKT_CreateHandle", "VKT_OpenServer",    "VKT_CloseServer", "VKT_OpenChannel",
                                "VKT_CloseChannel", "VKT_GetServerInfo", "VKT_StartRecord", "VKT_StopRecord",
                                "VKT_SetEventCallback", "VKT_SetReconnect", "VKT_GetPictureCounts", "VKT_SetTimeouts",
                                "VKT_ContinueRecord", "VKT_SetPictureCallback", "VKT_OpenChannelWithoutWindow",
                                "VKT_SavePicture", "VKT_SetDrawCallback", "VKT_RecordPictures"};

// Loading runs DllMain (the kind-7100 transport is set up), releasing runs
// it again (every connection goes); a second load must find a clean state.
TEST(SdkLibrary, LoadsWithUndecoratedExportsAndLoadsAgainAfterRelease) {
  for (int round = 0; round < 3; ++round) {
    HMODULE sdk = LoadLibraryA("VKT7100SDK.dll");
    ASSERT_NE(sdk, nullptr) << GetLastError();
    for (const char* name : kExports) {
      EXPECT_NE(GetProcAddress(sdk, name), nullptr) << name;
      EXPECT_EQ(GetProcAddress(sdk, (std::string(name) + "@8").c_str()), nullptr) << name;
    }
    using CreateHandle = int32_t(__stdcall*)(int32_t, void**);
    using CloseServer = int32_t(__stdcall*)(void*);
    auto create = reinterpret_cast<CreateHandle>(reinterpret_cast<void (*)()>(GetProcAddress(sdk, "VKT_CreateHandle")));
    auto close = reinterpret_cast<CloseServer>(reinterpret_cast<void (*)()>(GetProcAddress(sdk, "VKT_CloseServer")));
    void* handle = nullptr;
    EXPECT_EQ(create(VKT_KIND_JPEG, &handle), VKT_OK);
    EXPECT_EQ(close(handle), VKT_OK);
    EXPECT_EQ(close(handle), VKT_ERR_PARAMETER);  // gone, and recognised as gone
    EXPECT_TRUE(FreeLibrary(sdk));
  }
}

// The override in HKEY_LOCAL_MACHINE: written, read by the decoder's table
// fill, removed again.
struct OverrideCase {
  const char* name;
  DWORD type;
  DWORD value;
  bool forced;  // false: the processor's own kind
};

class RegistryOverride : public ::testing::TestWithParam<OverrideCase> {
 protected:
  void TearDown() override {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCpuOverrideKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, kCpuOverrideValue);
      RegCloseKey(key);
    }
  }
};

TEST_P(RegistryOverride, PicksTheDecoderTable) {
  const OverrideCase& c = GetParam();
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCpuOverrideKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (c.type != REG_NONE)
    RegSetValueExA(key, kCpuOverrideValue, 0, c.type, reinterpret_cast<const BYTE*>(&c.value), sizeof c.value);
  RegCloseKey(key);
  JpegOps ops{};
  SideMembers side_members{};
  const ProcessorKind kind = dispatch_jpeg_ops(ops, side_members);
  release_jpeg_ops(ops);
  const ProcessorKind own = classify_processor(current_processor_info(), kNoCpuOverride);
  EXPECT_EQ(kind, c.forced ? static_cast<ProcessorKind>(c.value) : own) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryOverride,
                         ::testing::Values(OverrideCase{"generic", REG_DWORD, 0, true},
                                           OverrideCase{"family 5 MMX", REG_DWORD, 3, true},
                                           OverrideCase{"out of range", REG_DWORD, 7, false},
                                           OverrideCase{"absent", REG_NONE, 0, false}),
                         [](const auto& info) { return std::to_string(info.index); });

// A top-level window of this thread that the session draws into.
HWND VideoWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VktLibraryTestVideo";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "video", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 352, 288,
                         nullptr, nullptr, windowClass.hInstance, nullptr);
}

void PumpFor(DWORD milliseconds) {
  const DWORD end = timeGetTime() + milliseconds;
  MSG msg;
  while (static_cast<int32_t>(end - timeGetTime()) > 0) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
}

struct SessionCase {
  int32_t kind;
  uint16_t channels;
};

class DeviceSession : public ::testing::TestWithParam<SessionCase> {};

// Event types in order, and whether any came on another thread than the
// handle's.
struct EventLog {
  std::vector<int32_t> types;
  bool foreignThread = false;
  DWORD thread = GetCurrentThreadId();
  static void __stdcall Take(void*, const VKT_Event* event, void* user) {
    auto* log = static_cast<EventLog*>(user);
    log->foreignThread |= GetCurrentThreadId() != log->thread;
    log->types.push_back(event->type);
  }
};

// Pictures handed to the application's callback, and whether any came on
// the handle's own thread.
struct PictureLog {
  std::atomic<int> count{0};
  std::atomic<bool> onThisThread{false};
  DWORD thread = GetCurrentThreadId();
  static void __stdcall Take(void*, const VKT_PICTURE* picture, void* user) {
    auto* log = static_cast<PictureLog*>(user);
    if (GetCurrentThreadId() == log->thread) log->onThisThread = true;
    if (picture->width > 0 && picture->stride >= picture->width * 3) ++log->count;
  }
};

// Login with the simulator's credentials, the information record, live
// video into a window, and (kind 5200) a recording that starts with the
// stream's header; wrong credentials are refused. The events of the
// refusal, the first picture and the device's loss arrive in order on
// this thread.
TEST_P(DeviceSession, LogsInShowsVideoAndRecords) {
  const SessionCase& c = GetParam();
  vkt::test::DevsimProcess devsim(c.kind, {"--user", "viewer", "--password", "pass"});
  ASSERT_NE(devsim.port(), 0) << "simulator broker (VKT_DEVSIM_BROKER_PORT)";

  EventLog refusal, log;
  void* refused = nullptr;
  ASSERT_EQ(VKT_CreateHandle(c.kind, &refused), VKT_OK);
  VKT_SetEventCallback(refused, EventLog::Take, &refusal);
  EXPECT_EQ(VKT_OpenServer(refused, "127.0.0.1", devsim.port(), "viewer", "wrong"), VKT_ERR_LOGIN_DENIED);
  PumpFor(100);
  EXPECT_EQ(refusal.types, std::vector<int32_t>{VKT_EVENT_LOGIN_REFUSED});
  EXPECT_EQ(VKT_CloseServer(refused), VKT_OK);

  void* handle = nullptr;
  ASSERT_EQ(VKT_CreateHandle(c.kind, &handle), VKT_OK);
  VKT_SetEventCallback(handle, EventLog::Take, &log);
  ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "viewer", "pass"), VKT_OK);
  ServerInfo info{};
  info.size = sizeof info;
  ASSERT_EQ(VKT_GetServerInfo(handle, &info), VKT_OK);
  EXPECT_STREQ(info.address, "127.0.0.1");
  EXPECT_EQ(info.port, devsim.port());
  EXPECT_EQ(info.channelCount, c.channels);

  HWND window = VideoWindow();
  ASSERT_NE(window, nullptr);
  // Every picture also reaches the application's callback, off this thread.
  PictureLog pictures;
  EXPECT_EQ(VKT_SetPictureCallback(handle, 0, PictureLog::Take, &pictures), VKT_OK);
  EXPECT_EQ(VKT_SetDrawCallback(handle, 0, VKT_DRAW_NOTHING, nullptr), VKT_OK);
  EXPECT_EQ(VKT_OpenChannel(handle, 0, window), VKT_OK);
  char path[MAX_PATH];
  char directory[MAX_PATH];
  GetTempPathA(sizeof directory, directory);
  GetTempFileNameA(directory, "vkt", 0, path);
  const int32_t recordResult = VKT_StartRecord(handle, 0, path);
  PumpFor(3000);
  EXPECT_GT(pictures.count.load(), 0);
  EXPECT_FALSE(pictures.onThisThread.load());
  VKT_PICTURE_COUNTS counts{};
  counts.size = sizeof counts;
  EXPECT_EQ(VKT_GetPictureCounts(handle, 0, &counts), VKT_OK);
  EXPECT_GT(counts.delivered, 0u);
  char snapshot[MAX_PATH];
  std::snprintf(snapshot, sizeof snapshot, "%svkt-snapshot-%lu.bmp", directory, GetCurrentProcessId());
  EXPECT_EQ(VKT_SavePicture(handle, 0, snapshot), VKT_OK);
  EXPECT_TRUE(DeleteFileA(snapshot));
  devsim.kill();
  PumpFor(500);
  EXPECT_EQ(log.types, (std::vector<int32_t>{VKT_EVENT_FIRST_PICTURE, VKT_EVENT_CONNECTION_LOST}));
  EXPECT_FALSE(log.foreignThread || refusal.foreignThread);
  VKT_StopRecord(handle, 0);
  EXPECT_EQ(VKT_CloseChannel(handle, 0), VKT_OK);
  EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
  DestroyWindow(window);

  std::vector<char> recorded(64);
  FILE* file = std::fopen(path, "rb");
  const size_t length = file ? std::fread(recorded.data(), 1, recorded.size(), file) : 0;
  if (file) std::fclose(file);
  DeleteFileA(path);
  if (c.kind == VKT_KIND_H264) {
    EXPECT_EQ(recordResult, VKT_OK);
    ASSERT_GE(length, 4u);
    EXPECT_EQ(std::string(recorded.data(), 4), "rvdx");
  } else {
    EXPECT_EQ(recordResult, VKT_ERR_NOT_SUPPORTED);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeviceSession,
                         ::testing::Values(SessionCase{VKT_KIND_JPEG, 4}, SessionCase{VKT_KIND_H264, 1}),
                         [](const auto& info) { return std::to_string(info.param.kind); });

}  // namespace
