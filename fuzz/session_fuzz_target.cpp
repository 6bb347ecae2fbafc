// Fuzz target of the device sessions as the transports drive them: a
// handle of either kind logs in through fake transports (session_fakes.h),
// then the input's events reach its window procedure: device packets, data
// blocks (JPEG pictures, kind-5200 stream blocks), connection messages,
// timer ticks and other transport message numbers, mixed with calls of the
// exported functions (channels, recording, the information record) and
// reconnect attempts. The input's first byte picks the kind (bit 0),
// whether the handle reconnects (bit 1) and on which event type its event
// callback closes the handle (bits 2-5, 0 for none); the rest is a run of
// pieces (block_stream.h), each an event: its first byte the event type,
// then its arguments and bytes. Findings are what the sanitizers see.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "block_stream.h"
#include "device_session.h"
#include "session_fakes.h"
#include "vkt7100sdk.h"
#include "vkt7100sdk_events.h"
#include "vktjpeg.h"

namespace {

using namespace session_fuzz;

enum Event : uint8_t {
  kNotify,      // bytes 1-2 packet type, then the payload
  kData,        // the data block
  kLost,        // the connection goes
  kConnect,     // connection outcome, byte 1 its wParam
  kTimer,       // a tick of the picture timer
  kCall,        // byte 1 the exported function, byte 2 its argument
  kOther,       // bytes 1-2: a transport message number above WM_USER
  kReconnect,   // the reconnect timer fires: one redial and login
  kEventCount
};

const std::string& recording_file() {
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/vkt_session_fuzz_" + std::to_string(getpid()) + ".rec";
  return path;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void Call(void* handle, uint8_t function, uint8_t argument) {
  ServerInfo info{};
  switch (function % 5) {
    case 0:
      VKT_OpenChannel(handle, argument % 20, nullptr);
      break;
    case 1:
      VKT_CloseChannel(handle, argument % 20);
      break;
    case 2:
      VKT_StartRecord(handle, argument % 2, recording_file().c_str());
      break;
    case 3:
      VKT_StopRecord(handle, argument);
      break;
    default:
      info.size = argument;
      VKT_GetServerInfo(handle, &info);
      break;
  }
}

// Kind-7100 pictures whose frame claims more pixels than this are not
// delivered: decoding them is the JPEG target's work, and the time it takes
// here (most of every run) would starve the session paths.
constexpr uint64_t kPicturePixelBudget = 1u << 14;

bool WithinPixelBudget(const uint8_t* picture, uint32_t length) {
  // One record for every input: initialising one reads the registry.
  static JPEG_PROPERTIES record{};
  static const bool ready = JpegInit(&record) == JPEG_SUCCESS;
  if (!ready) return false;
  record.jpeg_bytes = picture;
  record.jpeg_size_bytes = length;
  return JpegRead(&record, READ_PARAMS_BUFFER) == JPEG_SUCCESS &&
         uint64_t{record.jpeg_width} * record.jpeg_height <= kPicturePixelBudget;
}

void Deliver(void* handle, int kind, HWND window, const fuzz_input::Piece& piece) {
  if (piece.length == 0) return;
  const uint8_t* bytes = piece.bytes;
  const uint32_t length = piece.length;
  auto byteAt = [&](uint32_t i) -> uint8_t { return i < length ? bytes[i] : 0; };
  switch (bytes[0] % kEventCount) {
    case kNotify: {
      const uint16_t type = static_cast<uint16_t>(byteAt(1) | (byteAt(2) << 8));
      const uint32_t skip = length < 3 ? length : 3;
      SendNotification(window, kind, type, bytes + skip, length - skip);
      break;
    }
    case kData:
      if (kind == VKT_KIND_H264 || WithinPixelBudget(bytes + 1, length - 1))
        SendDataBlock(window, kind, bytes + 1, length - 1);
      break;
    case kLost:
      SendMessageA(window, 1446, byteAt(1) % 4, 0);
      break;
    case kConnect:
      SendMessageA(window, 1445, byteAt(1), 0);
      break;
    case kTimer:
      SendMessageA(window, WM_TIMER, 1032, 0);
      break;
    case kCall:
      Call(handle, byteAt(1), byteAt(2));
      break;
    case kReconnect:
      SendMessageA(window, WM_TIMER, RECONNECT_TIMER_ID, 0);
      break;
    default:
      // Numbers with records behind them are sent with records above.
      SendMessageA(window, WM_USER + 1 + ((byteAt(1) | (byteAt(2) << 8)) % 1024), 0, 0);
      break;
  }
  Pump();
}

// The application's side of the events: every field read, and the handle
// closed from inside the callback on the chosen type.
struct EventSink {
  int32_t closeOn = 0;
  bool closed = false;
  uint32_t checksum = 0;
};

void VKT_CALL OnEvent(void* handle, const VKT_Event* event, void* user) {
  auto* sink = static_cast<EventSink*>(user);
  sink->checksum += static_cast<uint32_t>(event->type + event->channel + event->value1 + event->value2);
  for (const char* c = event->text; *c; ++c) sink->checksum += static_cast<uint8_t>(*c);
  if (event->type == sink->closeOn && !sink->closed) {
    VKT_CloseServer(handle);
    sink->closed = true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int kind = (data[0] & 1) ? VKT_KIND_H264 : VKT_KIND_JPEG;
  void* handle = nullptr;
  if (VKT_CreateHandle(kind, &handle) != VKT_OK) return 0;
  const HWND window = static_cast<DeviceSession*>(handle)->window;
  EventSink sink;
  sink.closeOn = (data[0] >> 2) & 15;
  VKT_SetEventCallback(handle, OnEvent, &sink);
  if (data[0] & 2) VKT_SetReconnect(handle, 1);
  if (window && VKT_OpenServer(handle, "127.0.0.1", 80, "admin", "admin") == VKT_OK) {
    for (const fuzz_input::Piece& piece : fuzz_input::SplitPieces(data + 1, size - 1)) {
      // A closed handle's window is gone; its calls are refused.
      if (sink.closed) break;
      Deliver(handle, kind, window, piece);
    }
  }
  if (!sink.closed) VKT_CloseServer(handle);
  Pump();
  ReleaseRecords();
  std::remove(recording_file().c_str());
  return 0;
}
