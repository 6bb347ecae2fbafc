// Bounded memory: the budget that limits a connection's posted-but-not-
// released records, alone, with the records it charges, and in the
// connection engine against a simulator that floods a slow window thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include "core/connection.h"
#include "core/flow_budget.h"
#include "core/posted_record.h"
#include "sdk/transport_api.h"
#include "tests/common/devsim_process.h"
#include "tests/transport/window_thread.h"

using namespace std::chrono_literals;
using vkt::transport::FlowBudget;
using vkt::transport::FlowLimits;

namespace {

TEST(FlowBudget, LimitsRecordsAndBytesButAlwaysAdmitsALoneRecord) {
  FlowBudget budget(FlowLimits{1000, 2});
  ASSERT_TRUE(budget.acquire(5000));  // larger than the byte limit, but alone
  auto blocked = std::async(std::launch::async, [&] { return budget.acquire(10); });
  EXPECT_EQ(blocked.wait_for(100ms), std::future_status::timeout);
  budget.refund(5000);
  ASSERT_TRUE(blocked.get());
  ASSERT_TRUE(budget.acquire(10));
  EXPECT_EQ(budget.outstandingRecords(), 2u);
  EXPECT_EQ(budget.outstandingBytes(), 20u);

  auto overRecords = std::async(std::launch::async, [&] { return budget.acquire(10); });
  EXPECT_EQ(overRecords.wait_for(100ms), std::future_status::timeout);
  budget.stop();  // what disconnect does: the waiter gives up, charging nothing
  EXPECT_FALSE(overRecords.get());
  EXPECT_EQ(budget.outstandingRecords(), 2u);
  EXPECT_FALSE(budget.acquire(1));
  budget.resume();
  budget.refund(10);
  budget.refund(10);
  EXPECT_TRUE(budget.acquire(1));
}

TEST(FlowBudget, ByteLimitIsInclusive) {
  FlowBudget budget(FlowLimits{1000, 10});
  ASSERT_TRUE(budget.acquire(600));
  auto over = std::async(std::launch::async, [&] { return budget.acquire(401); });  // limit + 1
  EXPECT_EQ(over.wait_for(100ms), std::future_status::timeout);
  budget.refund(600);
  ASSERT_TRUE(over.get());
  ASSERT_TRUE(budget.acquire(598));  // 401 outstanding: limit - 1
  budget.refund(598);
  auto atLimit = std::async(std::launch::async, [&] { return budget.acquire(599); });
  EXPECT_EQ(atLimit.wait_for(2s), std::future_status::ready);
  budget.stop();  // releases the waiter should the limit itself be refused
  atLimit.get();
}

// Each row is a payload length: 64 zero bytes follow the payload, even in
// memory that held other bytes before, so a handler reading a fixed-size
// record out of a short payload reads zeros; discarding refunds the charge.
TEST(FlowBudget, PostedPayloadsEndInZerosAndRefundTheirCharge) {
  auto budget = std::make_shared<FlowBudget>(FlowLimits{});
  for (const uint32_t length : {0u, 23u, 276u}) {
    SCOPED_TRACE(length);
    // A block of the payload's size, spoilt and freed: the allocator hands it out again.
    std::fill_n(std::make_unique<uint8_t[]>(length + 64).get(), length + 64, uint8_t{0xA5});
    vkt::wire::FrameHeader header;
    header.payloadLength = length;
    bool stopped = true;
    auto* record = vkt::transport::PostedRecord::reserve(budget, header, stopped);
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(stopped);
    EXPECT_EQ(std::vector<uint8_t>(record->payload() + length, record->payload() + length + 64),
              std::vector<uint8_t>(64, 0));
    vkt::transport::PostedRecord::discard(record);
    EXPECT_EQ(budget->outstandingBytes(), 0u);
  }
}

const vkt::transport::TransportProfile kProfile{"test", WM_TRANSPORT_NOTIFY, WM_TRANSPORT_DATA};

TEST(FlowControl, ReaderPausesWhileTheWindowThreadLagsAndResumesAfter) {
  constexpr uint32_t kBlock = 64 * 1024;
  const FlowLimits limits{512 * 1024, 16};
  vkt::test::DevsimProcess devsim(7100, {"--flood", std::to_string(kBlock)});
  ASSERT_NE(devsim.port(), 0);
  vkt::test::WindowThread window(nullptr, 5ms);  // about 13 MB/s at most
  vkt::transport::Connection connection(window.window(), kProfile, limits);
  ASSERT_TRUE(connection.connect({"127.0.0.1", devsim.port()}));
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_DATA, 1));

  size_t maxBytes = 0, maxRecords = 0;
  const auto end = std::chrono::steady_clock::now() + 1500ms;
  while (std::chrono::steady_clock::now() < end) {
    maxBytes = std::max(maxBytes, connection.budget().outstandingBytes());
    maxRecords = std::max(maxRecords, connection.budget().outstandingRecords());
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_LE(maxBytes, limits.maxBytes);
  EXPECT_LE(maxRecords, limits.maxRecords);
  // The budget did fill up: the reader had to wait for the window thread.
  EXPECT_GT(maxBytes, limits.maxBytes - 2 * (kBlock + 1024));
  const size_t handled = window.count(WM_TRANSPORT_DATA);
  EXPECT_GT(handled, 20u);
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);

  // Once the window thread has worked off what was queued, everything
  // handed out has come back.
  connection.disconnect();
  const auto drained = std::chrono::steady_clock::now() + 10s;
  while (connection.budget().outstandingRecords() != 0 && std::chrono::steady_clock::now() < drained)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(connection.budget().outstandingRecords(), 0u);
  EXPECT_EQ(connection.budget().outstandingBytes(), 0u);
}

}  // namespace
