// The exported functions' own checks: kinds, the handle out-pointer, handle
// validation for every function, and the calls every kind answers without a
// device.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

#include "device_session.h"
#include "vkt7100sdk.h"

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
  const std::vector<void*> invalid = {
      nullptr, pages + page,
      withMagic(100, SESSION_MAGIC),  // the magic, but fewer than the 328 bytes checked
      withMagic(400, SESSION_MAGIC ^ 1),
  };
  ServerInfo info{};
  info.size = sizeof info;
  const std::vector<std::function<int32_t(void*)>> functions = {
      [](void* h) { return VKT_OpenServer(h, "127.0.0.1", 1, "admin", "admin"); },
      [](void* h) { return VKT_CloseServer(h); },
      [](void* h) { return VKT_OpenChannel(h, 0, nullptr); },
      [](void* h) { return VKT_CloseChannel(h, 0); },
      [&](void* h) { return VKT_GetServerInfo(h, &info); },
      [](void* h) { return VKT_StartRecord(h, 0, "/nonexistent/record.bin"); },
      [](void* h) { return VKT_StopRecord(h, 0); },
  };
  for (size_t f = 0; f < functions.size(); ++f) {
    for (size_t h = 0; h < invalid.size(); ++h) {
      EXPECT_EQ(functions[f](invalid[h]), VKT_ERR_PARAMETER) << "function " << f << ", handle " << h;
    }
  }
  munmap(pages, 2 * page);
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
  EXPECT_EQ(VKT_CloseServer(jpeg), VKT_OK);
  EXPECT_EQ(VKT_CloseServer(h264), VKT_OK);
}
