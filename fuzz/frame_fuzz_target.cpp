// Fuzz target of the transport's receiving side: the frame decoder of a
// real connection, fed as a byte stream in random chunks. The input's
// first four bytes seed the chunk sizes; the rest is what a device sends.
// A connection dials a loopback listener of this process, the bytes go out
// chunk by chunk, and the messages it posts to a window of this thread are
// compared with the frames a straight decoding of the stream yields: every
// whole frame up to the first bad or cut one, in order, as a notification
// or a data message with its payload, then the loss of the connection.
// Anything else is a finding (abort).
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/connection.h"
#include "sdk/transport_api.h"
#include "wire/frame.h"

namespace {

using namespace vkt;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kSeedBytes = 4;
constexpr auto kQuietLimit = std::chrono::seconds(5);

struct Seen {
  UINT message;
  WPARAM wParam;
  uint16_t type;
  Bytes payload;
};

std::vector<Seen> g_seen;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TRANSPORT_NOTIFY) {
    const auto* header = reinterpret_cast<const PacketHeader*>(wParam);
    const auto* payload = reinterpret_cast<const uint8_t*>(lParam);
    g_seen.push_back({message, 0, header->type, Bytes(payload, payload + header->payloadLength)});
    return 0;
  }
  if (message == WM_TRANSPORT_DATA) {
    const auto* block = reinterpret_cast<const DataBlock*>(lParam);
    g_seen.push_back({message, 0, 0, Bytes(block->data, block->data + block->length)});
    return 0;
  }
  if (message == WM_TRANSPORT_CONNECT || message == WM_TRANSPORT_CLOSE) {
    g_seen.push_back({message, wParam, 0, {}});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND RecordingWindow() {
  static const HWND window = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.lpszClassName = "FrameFuzzWindow";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "FrameFuzzWindow", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  }();
  return window;
}

// A loopback listener for the whole run; its port.
int Listener(uint16_t& port) {
  static uint16_t listenPort = 0;
  static const int fd = [] {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 4) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      std::abort();
    listenPort = ntohs(address.sin_port);
    return s;
  }();
  port = listenPort;
  return fd;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

bool SawLoss() { return !g_seen.empty() && g_seen.back().message == WM_TRANSPORT_CLOSE; }

// The frames a straight decoding yields: whole frames up to the first bad
// header, out-of-order sequence number or cut payload.
std::vector<Seen> ExpectedMessages(const uint8_t* stream, size_t size) {
  std::vector<Seen> expected{{WM_TRANSPORT_CONNECT, 1, 0, {}}};
  wire::FrameSequenceCheck sequence;
  // A stream cut short is the device closing; a frame out of the protocol
  // is a bad frame. The loss message says which.
  WPARAM reason = TRANSPORT_CLOSED_BY_DEVICE;
  size_t at = 0;
  while (size - at >= wire::kFrameHeaderSize) {
    wire::FrameHeader header;
    wire::FrameStatus status = wire::decodeFrameHeader(stream + at, size - at, header);
    if (status == wire::FrameStatus::Ok) status = sequence.accept(header);
    if (status != wire::FrameStatus::Ok) {
      reason = TRANSPORT_BAD_FRAME;
      break;
    }
    if (header.payloadLength > size - at - wire::kFrameHeaderSize) break;
    const uint8_t* payload = stream + at + wire::kFrameHeaderSize;
    const bool data = (header.flags & wire::kFlagData) != 0;
    expected.push_back({data ? UINT(WM_TRANSPORT_DATA) : UINT(WM_TRANSPORT_NOTIFY), 0, data ? uint16_t(0) : header.type,
                        Bytes(payload, payload + header.payloadLength)});
    at += wire::kFrameHeaderSize + header.payloadLength;
  }
  expected.push_back({WM_TRANSPORT_CLOSE, reason, 0, {}});
  return expected;
}

bool Same(const Seen& a, const Seen& b) {
  return a.message == b.message && a.wParam == b.wParam && a.type == b.type && a.payload == b.payload;
}

// Sends the stream in chunks of 1 to 256 bytes drawn from `seed`,
// dispatching the window's messages whenever the socket is full.
void SendInChunks(int peer, const uint8_t* stream, size_t size, uint32_t seed) {
  uint32_t state = seed | 1;
  size_t at = 0;
  while (at < size) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    size_t chunk = 1 + state % 256;
    if (chunk > size - at) chunk = size - at;
    const ssize_t sent = ::send(peer, stream + at, chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      at += static_cast<size_t>(sent);
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      Pump();
    } else if (!(sent < 0 && errno == EINTR)) {
      return;  // the connection dropped the stream (a bad frame): the rest is not read
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kSeedBytes) return 0;
  const uint32_t seed = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t{data[3]} << 24);
  const uint8_t* stream = data + kSeedBytes;
  const size_t streamSize = size - kSeedBytes;

  uint16_t port = 0;
  const int listener = Listener(port);
  const HWND window = RecordingWindow();
  g_seen.clear();
  static const transport::TransportProfile profile{"fuzz", WM_TRANSPORT_NOTIFY, WM_TRANSPORT_DATA};
  transport::Connection connection(window, profile);
  if (!connection.connect(transport::Endpoint{"127.0.0.1", port})) std::abort();
  // The fuzzer's timeout alarm interrupts waits: EINTR is no answer.
  int peer = -1;
  for (;;) {
    pollfd waiting{listener, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, 5000);
    if (ready < 0 && errno == EINTR) continue;
    if (ready != 1) std::abort();
    peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer >= 0 || errno != EINTR) break;
  }
  if (peer < 0) std::abort();

  SendInChunks(peer, stream, streamSize, seed);
  ::shutdown(peer, SHUT_WR);
  const auto deadline = Clock::now() + kQuietLimit;
  while (!SawLoss()) {
    if (Clock::now() > deadline) {
      std::fprintf(stderr, "no end of the connection reported\n");
      std::abort();
    }
    Pump();
    usleep(50);
  }
  connection.disconnect();
  ::close(peer);
  Pump();

  const std::vector<Seen> expected = ExpectedMessages(stream, streamSize);
  bool same = expected.size() == g_seen.size();
  for (size_t i = 0; same && i < expected.size(); ++i) same = Same(expected[i], g_seen[i]);
  if (!same) {
    std::fprintf(stderr, "%zu messages posted, %zu frames expected\n", g_seen.size(), expected.size());
    std::abort();
  }
  return 0;
}
