// Data frames arrive whole and in order: thousands of blocks of random
// sizes from 0 bytes to 1 MiB, and packets sent from two threads at once
// coming back as whole frames.
#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "tests/common/devsim_process.h"
#include "tests/transport/transport_under_test.h"
#include "wire/device_packets.h"
#include "wire/frame.h"

using namespace std::chrono_literals;
using namespace vkt::test;
using namespace vkt::wire;

namespace {

// Mostly small blocks, some large, a few near 1 MiB, the extremes always
// present; about 30 MiB in all so the test stays at a few seconds.
std::vector<uint32_t> randomBlockSizes(size_t count) {
  std::mt19937 random(20240531);
  std::vector<uint32_t> sizes = {0, 1, 1024 * 1024};
  while (sizes.size() < count) {
    const uint32_t bucket = random() % 100;
    const uint32_t limit = bucket < 80 ? 1024 : bucket < 95 ? 64 * 1024 : bucket < 99 ? 512 * 1024 : 1024 * 1024;
    sizes.push_back(random() % (limit + 1));
  }
  std::shuffle(sizes.begin(), sizes.end(), random);
  return sizes;
}

TEST(DataStream, TwoThousandRandomSizedBlocksArriveIntactAndInOrder) {
  const std::vector<uint32_t> sizes = randomBlockSizes(2000);
  DevsimProcess devsim(5200, {"--echo-data"});
  size_t received = 0, wrong = 0;
  WindowThread window([&](const uint8_t* data, uint32_t length) {
    // Runs on the window thread only; read by the test after the waits.
    const bool fits = received < sizes.size() && length == sizes[received];
    if (!fits || !matchesTestPattern(static_cast<uint32_t>(received), data, length)) ++wrong;
    ++received;
  });
  TestConnection connection(nvsRemoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));

  std::vector<uint8_t> request(sizes.size() * 4);
  for (size_t i = 0; i < sizes.size(); ++i) storeLe32(request.data() + 4 * i, sizes[i]);
  ASSERT_NE(connection.send(kPacketEchoRequest, request.data(), static_cast<uint32_t>(request.size())), 0);
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA2, sizes.size(), 40s));
  connection.destroy();
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(window.count(WM_TRANSPORT_DATA2), sizes.size());
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);
}

// Connect, send, disconnect, reconnect, send: frame numbers start again
// at 0 with each connection (the device drops a connection whose first
// frame is not number 0), so every round's packets come back.
TEST(DataStream, EachConnectionNumbersItsFramesFromZero) {
  DevsimProcess devsim(5200, {"--echo-data"});
  WindowThread window;
  TestConnection connection(nvsRemoteSocketApi(), window);
  const uint8_t payload[3] = {1, 2, 3};
  for (size_t round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
    ASSERT_NE(connection.send(kPacketEchoPayload, payload, sizeof payload), 0);
    ASSERT_NE(connection.send(kPacketEchoPayload, payload, sizeof payload), 0);
    ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA2, 2 * round));
    connection.disconnect();
  }
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);
}

// A packet of exactly the payload limit goes out and comes back whole; one
// byte more is refused at once.
TEST(DataStream, SendPayloadLimitIsInclusive) {
  DevsimProcess devsim(5200, {"--echo-data"});
  size_t largest = 0;
  WindowThread window([&](const uint8_t*, uint32_t length) { largest = std::max<size_t>(largest, length); });
  TestConnection connection(nvsRemoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  std::vector<uint8_t> payload(kMaxPayload + 1, 0x5A);
  EXPECT_EQ(connection.send(kPacketEchoPayload, payload.data(), kMaxPayload + 1), 0);
  ASSERT_NE(connection.send(kPacketEchoPayload, payload.data(), kMaxPayload - 1), 0);
  ASSERT_NE(connection.send(kPacketEchoPayload, payload.data(), kMaxPayload), 0);
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA2, 2));
  connection.destroy();
  EXPECT_EQ(largest, kMaxPayload);
  EXPECT_EQ(window.count(WM_TRANSPORT_DATA2), 2u);
}

// Echo payload of sender `thread`, packet `number`: both numbers, then a
// pattern tied to them, of a size that varies with the number.
std::vector<uint8_t> echoPayload(uint8_t thread, uint32_t number) {
  std::vector<uint8_t> payload(5 + (number * 7919u) % 40000u);
  payload[0] = thread;
  storeLe32(payload.data() + 1, number);
  fillTestPattern(thread * 100000u + number, payload.data() + 5, payload.size() - 5);
  return payload;
}

TEST(DataStream, ConcurrentSendsFromTwoThreadsStayWholeFrames) {
  constexpr uint32_t kPerThread = 300;
  DevsimProcess devsim(7100, {"--echo-data"});
  uint32_t nextNumber[2] = {0, 0};
  size_t wrong = 0;
  WindowThread window([&](const uint8_t* data, uint32_t length) {
    if (length < 5 || data[0] > 1) {
      ++wrong;
      return;
    }
    const uint8_t thread = data[0];
    const uint32_t number = loadLe32(data + 1);
    // Each thread's packets come back in the order that thread sent them.
    if (number != nextNumber[thread]++ || echoPayload(thread, number) != std::vector<uint8_t>(data, data + length))
      ++wrong;
  });
  TestConnection connection(remoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));

  std::atomic<uint32_t> refused{0};
  auto sender = [&](uint8_t thread) {
    for (uint32_t number = 0; number < kPerThread; ++number) {
      const std::vector<uint8_t> payload = echoPayload(thread, number);
      if (connection.send(kPacketEchoPayload, payload.data(), static_cast<uint32_t>(payload.size())) == 0) ++refused;
    }
  };
  std::thread first(sender, 0), second(sender, 1);
  first.join();
  second.join();
  EXPECT_EQ(refused.load(), 0u);
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA, 2 * kPerThread, 30s));
  connection.destroy();
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(nextNumber[0], kPerThread);
  EXPECT_EQ(nextNumber[1], kPerThread);
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u) << "the simulator closes on a broken frame";
}

}  // namespace
