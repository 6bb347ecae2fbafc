// What the Windows build adds under the transports: the posted-record
// release over a thread message and a message hook, and the loopback wake
// socket that stops a reader waiting in select().
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "wire/socket_io.h"

namespace {

struct Delivery {
  std::atomic<int> handled{0};
  std::atomic<int> released{0};
  std::atomic<bool> releasedBeforeReturn{false};
};
Delivery* current = nullptr;
constexpr UINT kRecordMessage = WM_APP + 7;

LRESULT CALLBACK RecordWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRecordMessage) {
    Sleep(5);  // a release on another thread would land here
    if (current->released.load() > static_cast<int>(wParam)) current->releasedBeforeReturn = true;
    ++current->handled;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Release(void* context) { ++static_cast<Delivery*>(context)->released; }

HWND MakeWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RecordWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "VktReleaseTestWindow";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, windowClass.hInstance,
                         nullptr);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// How the receiving thread treats the posted messages.
enum class Receiver { Dispatches, DestroysWindowFirst, RetrievesWithoutDispatch };

struct ReleaseCase {
  const char* name;
  Receiver receiver;
  int messages;
  int expectedHandled;
};

class PostWithRelease : public ::testing::TestWithParam<ReleaseCase> {};

// Each case runs on a fresh thread: thread ids get reused, and a hook left
// from an ended thread must not swallow the new thread's releases.
TEST_P(PostWithRelease, EveryRecordIsReleasedOnceAfterItsProcedure) {
  const ReleaseCase& c = GetParam();
  for (int round = 0; round < 3; ++round) {
    Delivery delivery;
    current = &delivery;
    std::thread receiver([&] {
      HWND window = MakeWindow();
      ASSERT_NE(window, nullptr);
      for (int i = 0; i < c.messages; ++i)
        ASSERT_TRUE(PlatformPostMessageWithRelease(window, kRecordMessage, i, 0, Release, &delivery));
      if (c.receiver == Receiver::DestroysWindowFirst) DestroyWindow(window);
      if (c.receiver == Receiver::RetrievesWithoutDispatch) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
      } else {
        Pump();
      }
      if (c.receiver != Receiver::DestroysWindowFirst) DestroyWindow(window);
    });
    receiver.join();
    EXPECT_EQ(delivery.handled.load(), c.expectedHandled) << c.name;
    EXPECT_EQ(delivery.released.load(), c.messages) << c.name;
    EXPECT_FALSE(delivery.releasedBeforeReturn.load()) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Receivers, PostWithRelease,
                         ::testing::Values(ReleaseCase{"dispatched", Receiver::Dispatches, 20, 20},
                                           ReleaseCase{"window gone", Receiver::DestroysWindowFirst, 5, 0},
                                           ReleaseCase{"never dispatched", Receiver::RetrievesWithoutDispatch, 5, 0}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(PostWithRelease, RefusedPostKeepsTheRecord) {
  Delivery delivery;
  HWND window = MakeWindow();
  DestroyWindow(window);
  EXPECT_FALSE(PlatformPostMessageWithRelease(window, kRecordMessage, 0, 0, Release, &delivery));
  EXPECT_FALSE(PlatformPostMessageWithRelease(nullptr, kRecordMessage, 0, 0, Release, &delivery));
  Pump();
  EXPECT_EQ(delivery.released.load(), 0);
}

// A reader blocked on a connected socket with no data.
struct IdleConnection {
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET client = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  SOCKET server = INVALID_SOCKET;
  IdleConnection() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::listen(listener, 1);
    ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    server = ::accept(listener, nullptr, nullptr);
  }
  ~IdleConnection() {
    ::closesocket(server);
    ::closesocket(client);
    ::closesocket(listener);
  }
};

TEST(WakeSocket, StopsAWaitingReaderUntilReset) {
  vkt::wire::WakePipe wake;  // starts Winsock
  ASSERT_TRUE(wake.valid());
  IdleConnection connection;
  ASSERT_NE(connection.server, INVALID_SOCKET);
  const int reader = static_cast<int>(connection.server);
  uint8_t byte = 0;

  std::thread signaller([&] {
    Sleep(50);
    wake.signal();
  });
  EXPECT_EQ(vkt::wire::recvExact(reader, &byte, 1, wake.readFd()), vkt::wire::IoResult::Stopped);
  signaller.join();
  // Stays signalled (twice over) until reset.
  wake.signal();
  EXPECT_EQ(vkt::wire::recvExact(reader, &byte, 1, wake.readFd()), vkt::wire::IoResult::Stopped);
  wake.reset();

  const char sent = 42;
  ::send(connection.client, &sent, 1, 0);
  EXPECT_EQ(vkt::wire::recvExact(reader, &byte, 1, wake.readFd()), vkt::wire::IoResult::Ok);
  EXPECT_EQ(byte, 42);
  vkt::wire::shutdownSocket(static_cast<int>(connection.client));
  EXPECT_EQ(vkt::wire::recvExact(reader, &byte, 1, wake.readFd()), vkt::wire::IoResult::Closed);
}

}  // namespace
