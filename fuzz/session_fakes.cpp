// The fake transports and decoder of the session fuzz target (see
// session_fakes.h). Both transports answer a connect with "connected", the
// kind-5200 init packet with "ready" and a login with an accepted answer
// for four channels, all as posted messages; the decoder hands back one
// small picture per call, sized by the input's bytes.
#include "session_fakes.h"

#include <cstring>
#include <deque>
#include <memory>

#include "decoder_api.h"
#include "device_records.h"
#include "h264_device_session.h"
#include "transport_api.h"

namespace session_fuzz {
namespace {

// Zero bytes after every payload, as the real transports leave them.
constexpr size_t kPayloadTail = 64;

struct Record {
  PacketHeader header{};
  DataBlock block{};
  std::vector<uint8_t> bytes;
};

std::deque<std::unique_ptr<Record>> g_records;
HWND g_window7100 = nullptr;
HWND g_window5200 = nullptr;

Record* NewRecord(const uint8_t* data, uint32_t length) {
  auto record = std::make_unique<Record>();
  record->bytes.assign(length + kPayloadTail, 0);
  if (length) std::memcpy(record->bytes.data(), data, length);
  record->header.magic = PACKET_MAGIC;
  record->header.version = PACKET_VERSION;
  record->header.payloadLength = length;
  record->block.data = record->bytes.data();
  record->block.length = length;
  g_records.push_back(std::move(record));
  return g_records.back().get();
}

UINT NotifyMessage(int kind) { return kind == 5200 ? WM_TRANSPORT_NOTIFY2 : WM_TRANSPORT_NOTIFY; }
UINT DataMessage(int kind) { return kind == 5200 ? WM_TRANSPORT_DATA2 : WM_TRANSPORT_DATA; }

void PostLoginAnswer(HWND window, int kind) {
  uint8_t answer[login_answer::kMinimumLength + 1] = {};
  answer[login_answer::kAnswerCode] = 1;
  answer[login_answer::kChannelCount] = 4;
  PostNotification(window, kind, PKT_LOGIN, answer, sizeof answer);
}

DecodedPictureCallback g_pictureCallback = nullptr;
void* g_pictureUser = nullptr;

}  // namespace

namespace {

using Deliver = decltype(&PostMessageA);

void DeliverNotification(Deliver deliver, HWND window, int kind, uint16_t type, const uint8_t* payload,
                         uint32_t length) {
  Record* record = NewRecord(payload, length);
  record->header.type = type;
  deliver(window, NotifyMessage(kind), reinterpret_cast<WPARAM>(&record->header),
          reinterpret_cast<LPARAM>(record->bytes.data()));
}

BOOL WINAPI SendAndForget(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SendMessageA(window, message, wParam, lParam);
  return TRUE;
}

}  // namespace

void PostNotification(HWND window, int kind, uint16_t type, const uint8_t* payload, uint32_t length) {
  DeliverNotification(PostMessageA, window, kind, type, payload, length);
}

void SendNotification(HWND window, int kind, uint16_t type, const uint8_t* payload, uint32_t length) {
  DeliverNotification(SendAndForget, window, kind, type, payload, length);
}

void SendDataBlock(HWND window, int kind, const uint8_t* data, uint32_t length) {
  Record* record = NewRecord(data, length);
  SendMessageA(window, DataMessage(kind), 0, reinterpret_cast<LPARAM>(&record->block));
}

void ReleaseRecords() { g_records.clear(); }

}  // namespace session_fuzz

using namespace session_fuzz;

extern "C" {

// RemoteSocket (kind 7100).
void displayDebugMessage(int32_t) {}
int32_t initializeRemoteSocket(void) { return 1; }
void uninitializeRemoteSocket(void) {}
TransportHandle createRemoteSocket(HWND window, int32_t) {
  g_window7100 = window;
  return &g_window7100;
}
int32_t connectRemoteSocket(TransportHandle, void*) {
  PostMessageA(g_window7100, WM_TRANSPORT_CONNECT, 1, 0);
  return 1;
}
int32_t sendPacketDataRemoteSocket(TransportHandle, uint16_t type, uint8_t*, uint32_t) {
  if (type == PKT_LOGIN) PostLoginAnswer(g_window7100, 7100);
  return 1;
}
void disconnectRemoteSocket(TransportHandle) {}
void destroyRemoteSocket(TransportHandle) {}

// NVSRemoteSocket (kind 5200).
TransportHandle NSMGAPI_Create(HWND window) {
  g_window5200 = window;
  return &g_window5200;
}
int32_t NSMGAPI_Connect(TransportHandle, void*) {
  PostMessageA(g_window5200, WM_TRANSPORT_CONNECT, 1, 0);
  return 1;
}
int32_t NSMGAPI_SendInitPacketData(TransportHandle) {
  PostNotification(g_window5200, 5200, PKT_READY, nullptr, 0);
  return 1;
}
int32_t NSMGAPI_SendPacketData(TransportHandle, uint16_t type, uint8_t*, uint32_t) {
  if (type == PKT_LOGIN) PostLoginAnswer(g_window5200, 5200);
  return 1;
}
void NSMGAPI_Disconnect(TransportHandle) {}
void NSMGAPI_Destroy(TransportHandle) {}

// DecodeSDK and AudDecSDK.
int32_t CODECAPI_DecodeInit(int32_t, int32_t, HWND, int32_t, int32_t) { return 1; }
int32_t CODECAPI_SetCallBack(int32_t, void* user, DecodedPictureCallback callback, int32_t) {
  g_pictureUser = user;
  g_pictureCallback = callback;
  return 0;
}
int32_t CODECAPI_DecodeFrameVideo(int32_t, int32_t, DecodeRequest* request) {
  // Every input byte is read, so a rewrite past its bytes shows.
  uint32_t sum = 0;
  for (uint32_t i = 0; i < request->inputLength; ++i) sum = sum * 31 + request->input[i];
  if (!g_pictureCallback) return 1;
  DecodedPicture picture{};
  picture.width = 16 + static_cast<int32_t>(sum & 1) * 16;
  picture.height = 16;
  std::vector<uint8_t> pixels(static_cast<size_t>(picture.width) * picture.height * 3, static_cast<uint8_t>(sum));
  picture.pixels = pixels.data();
  g_pictureCallback(g_pictureUser, &picture);
  return 1;
}
int32_t CODECAPI_DecodeMemClear(int32_t, int32_t) { return 0; }
int32_t CODECAPI_DecodeUninit(int32_t) { return 0; }
int32_t CODECAPI_AudioDecodeInit(int32_t) { return 2; }
int32_t CODECAPI_AudioDecodeDeInit(int32_t, int32_t) { return 0; }

}  // extern "C"
