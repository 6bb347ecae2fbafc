// What the client puts on the wire and hands to the transports, read back
// from the simulator's packet log and from the transport calls on their
// way out of the session: the login with each kind's login mode, the
// kind-5200 packets 86, 82, 19 and 84, the first picture request, both
// kinds' connect records, and the order in which VKT_CloseServer takes the
// connection and the window down.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "device_session.h"
#include "h264_device_session.h"
#include "tests/common/devsim_process.h"
#include "tests/common/message_pump.h"
#include "tests/common/packet_log.h"
#include "tests/display/display_test_support.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_events.h"

using Bytes = std::vector<uint8_t>;

// The transport calls and window destruction, recorded on their way out.
static Bytes g_connectRecord;
static std::mutex g_connectRecordLock;  // the login sequences connect from several threads at once
static HWND g_watchedWindow = nullptr;
static std::vector<std::string> g_teardown;

#define FORWARD(name) reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))

static void NoteTeardown(const char* step) {
  if (g_watchedWindow) g_teardown.push_back(std::string(step) + (IsWindow(g_watchedWindow) ? "" : " (no window)"));
}

extern "C" {
int32_t NSMGAPI_Connect(TransportHandle handle, void* record) {
  std::lock_guard<std::mutex> hold(g_connectRecordLock);
  g_connectRecord.assign(static_cast<uint8_t*>(record), static_cast<uint8_t*>(record) + 280);
  return FORWARD(NSMGAPI_Connect)(handle, record);
}
int32_t connectRemoteSocket(TransportHandle handle, void* record) {
  std::lock_guard<std::mutex> hold(g_connectRecordLock);
  g_connectRecord.assign(static_cast<uint8_t*>(record), static_cast<uint8_t*>(record) + 272);
  return FORWARD(connectRemoteSocket)(handle, record);
}
void NSMGAPI_Disconnect(TransportHandle handle) {
  NoteTeardown("disconnect");
  FORWARD(NSMGAPI_Disconnect)(handle);
}
void NSMGAPI_Destroy(TransportHandle handle) {
  NoteTeardown("destroy");
  FORWARD(NSMGAPI_Destroy)(handle);
}
void disconnectRemoteSocket(TransportHandle handle) {
  NoteTeardown("disconnect");
  FORWARD(disconnectRemoteSocket)(handle);
}
void destroyRemoteSocket(TransportHandle handle) {
  NoteTeardown("destroy");
  FORWARD(destroyRemoteSocket)(handle);
}
BOOL WINAPI DestroyWindow(HWND window) {
  if (window == g_watchedWindow) NoteTeardown("window");
  return FORWARD(DestroyWindow)(window);
}
}

namespace {

using vkt::test::DevsimProcess;
using vkt::test::PacketLog;

void PutLe32(Bytes& bytes, size_t at, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

Bytes Le32s(std::initializer_list<int32_t> values) {
  Bytes bytes(4 * values.size());
  size_t at = 0;
  for (int32_t value : values) PutLe32(bytes, (at++) * 4, value);
  return bytes;
}

// The login request: user at 0, password at 128, the mode at 260, zeros
// elsewhere.
Bytes LoginBytes(int32_t mode) {
  Bytes bytes(276, 0);
  std::memcpy(bytes.data(), "admin", 5);
  std::memcpy(bytes.data() + 128, "admin", 5);
  PutLe32(bytes, 260, mode);
  return bytes;
}

// The connect record as each kind fills it: the address, then its fields
// as (offset, 32-bit value) and single bytes.
Bytes ConnectRecord(size_t size, std::vector<std::pair<size_t, int32_t>> fields, std::vector<size_t> onesAt) {
  Bytes bytes(size, 0);
  std::memcpy(bytes.data(), "127.0.0.1", 9);
  for (const auto& [at, value] : fields) PutLe32(bytes, at, value);
  for (size_t at : onesAt) bytes[at] = 1;
  return bytes;
}

// The packets the client sent, without the transport's own init packet.
std::vector<PacketLog::Packet> SessionPackets(const PacketLog& log) {
  std::vector<PacketLog::Packet> packets = log.Packets();
  std::erase_if(packets, [](const PacketLog::Packet& p) { return p.first == 0xFF00; });
  return packets;
}

}  // namespace

TEST(WireBytes, PacketsAndConnectRecordsOfBothKinds) {
  struct Case {
    int32_t kind;
    // What the application does after logging in.
    void (*calls)(void* handle);
    std::vector<PacketLog::Packet> expected;  // the first packets the device receives, in order
    size_t recordSize;
    std::vector<std::pair<size_t, int32_t>> recordFields;
    std::vector<size_t> recordOnes;
  };
  const Case cases[] = {
      {VKT_KIND_H264,
       [](void* handle) {
         EXPECT_EQ(VKT_OpenChannel(handle, 0, nullptr), VKT_OK);
         EXPECT_EQ(static_cast<H264DeviceSession*>(handle)->SendControl(3, -4), VKT_OK);
         EXPECT_EQ(VKT_CloseChannel(handle, 0), VKT_OK);
       },
       {{1, LoginBytes(1)}, {86, {}}, {82, Le32s({1, 0})}, {19, Le32s({3, -4, 10, 5})}, {84, Le32s({0})}},
       280,
       {{260, 2}, {264, 0}, {268, 10}, {276, 0x20000}},
       {272}},
      {VKT_KIND_JPEG,
       [](void* handle) {
         EXPECT_EQ(VKT_OpenChannel(handle, 2, nullptr), VKT_OK);
         EXPECT_EQ(VKT_CloseChannel(handle, 2), VKT_OK);
       },
       {{1, LoginBytes(0)}, {2, Le32s({0, 4, 0})}},
       272,
       {{260, 2}, {264, 0}, {268, 0}},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    PacketLog log;
    DevsimProcess devsim(c.kind, log.Arguments());
    ASSERT_NE(devsim.port(), 0);
    void* handle = nullptr;
    ASSERT_EQ(VKT_CreateHandle(c.kind, &handle), VKT_OK);
    g_connectRecord.clear();
    ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port() | 0x7FFF0000, "admin", "admin"), VKT_OK);
    c.calls(handle);
    EXPECT_TRUE(vkt::test::PumpUntil(3000, [&] { return SessionPackets(log).size() >= c.expected.size(); }));
    std::vector<PacketLog::Packet> packets = SessionPackets(log);
    if (packets.size() > c.expected.size()) packets.resize(c.expected.size());
    EXPECT_EQ(packets, c.expected);

    // The port goes in as its low 16 bits.
    auto fields = c.recordFields;
    fields[1].second = devsim.port();
    EXPECT_EQ(g_connectRecord, ConnectRecord(c.recordSize, fields, c.recordOnes));
    EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
  }
}

// VKT_CloseServer on a connected session with a channel showing: the
// connection is disconnected and destroyed while the hidden window still
// exists, and the window goes last.
TEST(WireBytes, CloseServerDisconnectsBeforeTheWindowGoes) {
  for (int32_t kind : {VKT_KIND_H264, VKT_KIND_JPEG}) {
    SCOPED_TRACE(kind);
    DevsimProcess devsim(kind);
    ASSERT_NE(devsim.port(), 0);
    display_test::TestWindow video(0, 0, 352, 288);
    void* handle = nullptr;
    ASSERT_EQ(VKT_CreateHandle(kind, &handle), VKT_OK);
    auto* session = static_cast<DeviceSession*>(handle);
    ASSERT_EQ(VKT_OpenServer(handle, "127.0.0.1", devsim.port(), "admin", "admin"), VKT_OK);
    // Kind 5200 makes its renderer with the first picture, on its decoding
    // thread: the first-picture event says when.
    bool pictured = false;
    VKT_SetEventCallback(
        handle,
        [](void*, const VKT_Event* event, void* user) {
          if (event->type == VKT_EVENT_FIRST_PICTURE) *static_cast<bool*>(user) = true;
        },
        &pictured);
    ASSERT_EQ(VKT_OpenChannel(handle, 0, video.handle()), VKT_OK);
    EXPECT_TRUE(vkt::test::PumpUntil(5000, [&] { return pictured; }));
    g_teardown.clear();
    g_watchedWindow = session->window;
    EXPECT_EQ(VKT_CloseServer(handle), VKT_OK);
    g_watchedWindow = nullptr;
    EXPECT_EQ(g_teardown, (std::vector<std::string>{"disconnect", "destroy", "window"}));
  }
}
