// Teardown and refusal: disconnecting from the window thread while the
// device floods, records that outlive their connection, broken frames
// that close the connection, and sends refused when nothing can go out.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/common/devsim_process.h"
#include "tests/transport/transport_under_test.h"
#include "wire/device_packets.h"
#include "wire/frame.h"

using namespace std::chrono_literals;
using namespace vkt::test;
using namespace vkt::wire;

namespace {

TEST(Teardown, DisconnectFromTheWindowThreadDuringAFloodIsPromptAndQueuedRecordsStayValid) {
  constexpr uint32_t kBlock = 256 * 1024;
  DevsimProcess devsim(5200, {"--flood", std::to_string(kBlock)});
  uint32_t index = 0;
  size_t wrong = 0;
  WindowThread window(
      [&](const uint8_t* data, uint32_t length) {
        if (length != kBlock || !matchesTestPattern(index, data, length)) ++wrong;
        ++index;
      },
      2ms);  // slower than the flood: the queue and the budget fill up
  TestConnection connection(nvsRemoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA2, 50));

  std::chrono::steady_clock::duration took{};
  size_t handledAtDestroy = 0;
  window.runOnWindowThread([&] {
    const auto start = std::chrono::steady_clock::now();
    connection.destroy();
    took = std::chrono::steady_clock::now() - start;
    handledAtDestroy = index;
  });
  EXPECT_LT(took, 2s);
  // What was queued before the destroy is still handled afterwards, from
  // records the destroyed connection no longer owns.
  std::this_thread::sleep_for(300ms);
  window.runOnWindowThread([] {});
  EXPECT_GT(window.count(WM_TRANSPORT_DATA2), handledAtDestroy);
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);
}

TEST(Teardown, DestroyFromAnotherThreadLeavesQueuedRecordsToTheWindow) {
  DevsimProcess devsim(7100, {"--flood", "65536"});
  std::atomic<bool> holdWindow{true};
  WindowThread window;
  TestConnection connection(remoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA, 1));
  // Keep the window thread busy so records pile up in its queue, then
  // destroy the connection underneath them.
  std::thread blocker([&] { window.runOnWindowThread([&] { while (holdWindow) std::this_thread::sleep_for(1ms); }); });
  std::this_thread::sleep_for(300ms);
  const auto start = std::chrono::steady_clock::now();
  connection.destroy();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  const size_t before = window.count(WM_TRANSPORT_DATA);
  holdWindow = false;
  blocker.join();
  window.runOnWindowThread([] {});
  EXPECT_GT(window.count(WM_TRANSPORT_DATA), before);
}

TEST(Teardown, BrokenFramesCloseTheConnection) {
  for (const char* fault : {"--oversize", "--bad-magic"}) {
    DevsimProcess devsim(7100, {fault});
    WindowThread window;
    TestConnection connection(remoteSocketApi(), window);
    ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port())) << fault;
    // The simulator keeps its end open: the close comes from the header alone.
    EXPECT_TRUE(window.waitForCount(WM_TRANSPORT_CLOSE, 1)) << fault;
    EXPECT_EQ(window.count(WM_TRANSPORT_DATA), 0u) << fault;
    EXPECT_EQ(connection.send(kPacketLogin, nullptr, 0), 0) << fault;
  }
}

TEST(Teardown, SendsAreRefusedWhenNothingCanGoOut) {
  DevsimProcess devsim(7100, {"--stall"});
  WindowThread window;
  TestConnection connection(remoteSocketApi(), window);
  uint8_t byte = 0;
  EXPECT_EQ(connection.send(kPacketLogin, &byte, 1), 0) << "not connected yet";
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  EXPECT_NE(connection.send(kPacketLogin, &byte, 1), 0);
  EXPECT_NE(connection.send(kPacketLoginDone, nullptr, 0), 0) << "no payload is fine";
  EXPECT_EQ(connection.send(kPacketLogin, nullptr, 4), 0) << "a length without data";
  std::vector<uint8_t> large(kMaxPayload + 1);
  EXPECT_EQ(connection.send(kPacketLogin, large.data(), kMaxPayload + 1), 0) << "over the limit";
  disconnectRemoteSocket(connection.handle());
  EXPECT_EQ(connection.send(kPacketLogin, &byte, 1), 0) << "after disconnect";
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);
}

}  // namespace
