// Connection outcomes as messages: success, refused port, unresolvable
// host, IPv6, loss by the peer, and the requests refused at once.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/common/devsim_process.h"
#include "tests/transport/transport_under_test.h"

using namespace std::chrono_literals;
using namespace vkt::test;

namespace {

std::vector<std::pair<UINT, WPARAM>> connectionMessages(WindowThread& window) {
  std::vector<std::pair<UINT, WPARAM>> seen;
  for (const ObservedMessage& message : window.messages())
    if (message.message == WM_TRANSPORT_CONNECT || message.message == WM_TRANSPORT_CLOSE)
      seen.emplace_back(message.message, message.message == WM_TRANSPORT_CONNECT ? message.wParam : 0);
  return seen;
}

using Outcome = std::vector<std::pair<UINT, WPARAM>>;
const Outcome kConnected = {{WM_TRANSPORT_CONNECT, 1}};
const Outcome kNotConnected = {{WM_TRANSPORT_CONNECT, 0}, {WM_TRANSPORT_CLOSE, 0}};

TEST(Connect, SuccessIsReportedOnceWithWParam1) {
  DevsimProcess devsim(7100);
  WindowThread window;
  TestConnection connection(remoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("localhost", devsim.port()));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(connectionMessages(window), kConnected);
  // A second attempt while connected is refused at once.
  auto record = makeConnectRecord("127.0.0.1", devsim.port());
  EXPECT_EQ(connectRemoteSocket(connection.handle(), record.data()), 0);
  connection.destroy();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(connectionMessages(window), kConnected) << "no message after disconnect";
}

TEST(Connect, FailuresPostNotConnectedThenClose) {
  for (const std::string host : {"127.0.0.1", "no-such-host.invalid"}) {
    WindowThread window;
    TestConnection connection(nvsRemoteSocketApi(), window);
    auto record = makeConnectRecord(host, closedLocalPort());
    ASSERT_NE(NSMGAPI_Connect(connection.handle(), record.data()), 0) << host;
    ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_CLOSE, 1)) << host;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(connectionMessages(window), kNotConnected) << host;
  }
}

TEST(Connect, Ipv6Loopback) {
  DevsimProcess devsim(5200, {}, "[::1]:0");
  if (devsim.port() == 0) GTEST_SKIP() << "no IPv6 loopback here";
  WindowThread window;
  TestConnection connection(nvsRemoteSocketApi(), window);
  EXPECT_TRUE(connection.connect("::1", devsim.port()));
}

TEST(Connect, LossByThePeerIsReportedOnceAndAllowsAReconnect) {
  DevsimProcess devsim(7100, {"--drop-after", "0"});
  WindowThread window;
  TestConnection connection(remoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_CLOSE, 1));
  EXPECT_EQ(connection.send(1, "x", 1), 0);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  ASSERT_TRUE(window.waitForCount(WM_TRANSPORT_CLOSE, 2));
  std::this_thread::sleep_for(100ms);
  const Outcome twice = {{WM_TRANSPORT_CONNECT, 1}, {WM_TRANSPORT_CLOSE, 0},
                         {WM_TRANSPORT_CONNECT, 1}, {WM_TRANSPORT_CLOSE, 0}};
  EXPECT_EQ(connectionMessages(window), twice);
}

TEST(Connect, UninitializeStopsEveryConnectionButKeepsTheHandles) {
  DevsimProcess devsim(7100, {"--stall"});
  WindowThread window;
  TestConnection first(remoteSocketApi(), window), second(remoteSocketApi(), window);
  ASSERT_TRUE(first.connect("127.0.0.1", devsim.port()));
  ASSERT_TRUE(second.connect("127.0.0.1", devsim.port()));
  uninitializeRemoteSocket();
  EXPECT_EQ(first.send(1, "x", 1), 0);
  EXPECT_EQ(second.send(1, "x", 1), 0);
  EXPECT_EQ(initializeRemoteSocket(), 1);
  ASSERT_TRUE(first.connect("127.0.0.1", devsim.port()));
  EXPECT_NE(first.send(1, "x", 1), 0);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);
}

TEST(Connect, MalformedRequestsAreRefusedAtOnce) {
  WindowThread window;
  TestConnection connection(remoteSocketApi(), window);
  auto record = makeConnectRecord("127.0.0.1", 80);
  std::fill_n(record.begin(), 260, 'a');  // address without its NUL
  EXPECT_EQ(connectRemoteSocket(connection.handle(), record.data()), 0);
  record = makeConnectRecord("127.0.0.1", 0);
  EXPECT_EQ(connectRemoteSocket(connection.handle(), record.data()), 0);
  EXPECT_EQ(connectRemoteSocket(connection.handle(), nullptr), 0);
  record = makeConnectRecord("127.0.0.1", 80);
  EXPECT_EQ(connectRemoteSocket(nullptr, record.data()), 0);
  // Handles of one library mean nothing to the other, and die with destroy.
  EXPECT_EQ(NSMGAPI_Connect(connection.handle(), record.data()), 0);
  TransportHandle stale = connection.handle();
  connection.destroy();
  EXPECT_EQ(connectRemoteSocket(stale, record.data()), 0);
  EXPECT_EQ(sendPacketDataRemoteSocket(stale, 1, nullptr, 0), 0);
  disconnectRemoteSocket(stale);
  destroyRemoteSocket(stale);
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(connectionMessages(window).empty());
}

}  // namespace
