// Login round trips through both libraries against the simulator: the
// kind-5200 handshake (init, ready, login, device time), the kind-7100
// answer, refusals and the simulator's connection faults.
#include <gtest/gtest.h>

#include "tests/common/devsim_process.h"
#include "tests/transport/transport_under_test.h"
#include "wire/device_packets.h"

using namespace std::chrono_literals;
using namespace vkt::test;
using namespace vkt::wire;

namespace {

std::vector<uint8_t> loginRequest(const std::string& user, const std::string& password, int32_t mode) {
  std::vector<uint8_t> request(kLoginRequestSize);
  EXPECT_TRUE(encodeLoginRequest({user, password, mode}, request.data()));
  return request;
}

// The first notification of `type` (waiting for it), or null.
std::optional<ObservedMessage> awaitPacket(WindowThread& window, UINT message, uint16_t type,
                                           std::chrono::milliseconds timeout = 10s) {
  std::optional<ObservedMessage> found;
  window.waitUntil(
      [&](const std::vector<ObservedMessage>& seen) {
        for (const ObservedMessage& observed : seen)
          if (observed.message == message && observed.packetType == type) {
            found = observed;
            return true;
          }
        return false;
      },
      timeout);
  return found;
}

TEST(Login, Kind5200HandshakeAndDeviceTime) {
  DevsimProcess devsim(5200, {"--user", "operator", "--password", "secret"});
  WindowThread window;
  TestConnection connection(nvsRemoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  ASSERT_NE(NSMGAPI_SendInitPacketData(connection.handle()), 0);
  ASSERT_TRUE(awaitPacket(window, WM_TRANSPORT_NOTIFY2, kPacketReady));

  const std::vector<uint8_t> request = loginRequest("operator", "secret", 1);
  ASSERT_NE(connection.send(kPacketLogin, request.data(), kLoginRequestSize), 0);
  const auto answerMessage = awaitPacket(window, WM_TRANSPORT_NOTIFY2, kPacketLogin);
  ASSERT_TRUE(answerMessage);
  LoginAnswerFields answer;
  ASSERT_TRUE(decodeLoginAnswer(answerMessage->payload.data(), answerMessage->payload.size(), answer));
  EXPECT_EQ(answer.answerCode, kAnswerAccepted);
  EXPECT_EQ(answer.channelCount, 1);
  EXPECT_EQ(answer.deviceInfo[0], 3);
  EXPECT_EQ(answer.deviceInfo[2], 1);
  EXPECT_GE(answer.dateTime2.year, 2020);
  EXPECT_GE(answer.dateTime2.month, 1);
  EXPECT_LE(answer.dateTime2.month, 12);
  EXPECT_NE(connection.send(kPacketLoginDone, nullptr, 0), 0);

  const auto notice = awaitPacket(window, WM_TRANSPORT_NOTIFY2, kPacketDeviceTime, 5s);
  ASSERT_TRUE(notice);
  DeviceDateTime time;
  ASSERT_TRUE(decodeDeviceTimeNotice(notice->payload.data(), notice->payload.size(), time));
  EXPECT_GE(time.year, answer.dateTime2.year);
  EXPECT_LE(time.second, 60);
  EXPECT_EQ(window.count(WM_TRANSPORT_NOTIFY), 0u) << "kind 5200 uses messages 1645 only";
}

TEST(Login, Kind7100AnswerCarriesTheChannelCount) {
  DevsimProcess devsim(7100, {"--channels", "9"});
  WindowThread window;
  TestConnection connection(remoteSocketApi(), window);
  ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
  const std::vector<uint8_t> request = loginRequest("admin", "admin", 0);
  ASSERT_NE(connection.send(kPacketLogin, request.data(), kLoginRequestSize), 0);
  const auto answerMessage = awaitPacket(window, WM_TRANSPORT_NOTIFY, kPacketLogin);
  ASSERT_TRUE(answerMessage);
  LoginAnswerFields answer;
  ASSERT_TRUE(decodeLoginAnswer(answerMessage->payload.data(), answerMessage->payload.size(), answer));
  EXPECT_EQ(answer.answerCode, kAnswerAccepted);
  EXPECT_EQ(answer.channelCount, 9);
  EXPECT_EQ(window.count(WM_TRANSPORT_NOTIFY2), 0u) << "kind 7100 uses messages 1425 only";
}

TEST(Login, RefusedLoginsCarryTheirAnswerCodes) {
  struct Case {
    std::vector<std::string> options;
    std::string password;
    int32_t expected;
  };
  for (const Case& c : {Case{{}, "wrong", kAnswerBadCredentials}, Case{{"--refuse-login", "7"}, "admin", 7}}) {
    DevsimProcess devsim(7100, c.options);
    WindowThread window;
    TestConnection connection(remoteSocketApi(), window);
    ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
    const std::vector<uint8_t> request = loginRequest("admin", c.password, 0);
    ASSERT_NE(connection.send(kPacketLogin, request.data(), kLoginRequestSize), 0);
    const auto answerMessage = awaitPacket(window, WM_TRANSPORT_NOTIFY, kPacketLogin);
    ASSERT_TRUE(answerMessage);
    LoginAnswerFields answer;
    ASSERT_TRUE(decodeLoginAnswer(answerMessage->payload.data(), answerMessage->payload.size(), answer));
    EXPECT_EQ(answer.answerCode, c.expected);
  }
}

TEST(Login, SimulatorFaultsWithholdReadinessOrDropTheConnection) {
  {
    DevsimProcess devsim(5200, {"--no-ready"});
    WindowThread window;
    TestConnection connection(nvsRemoteSocketApi(), window);
    ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
    ASSERT_NE(NSMGAPI_SendInitPacketData(connection.handle()), 0);
    EXPECT_FALSE(awaitPacket(window, WM_TRANSPORT_NOTIFY2, kPacketReady, 1s));
    EXPECT_EQ(window.count(WM_TRANSPORT_CLOSE), 0u);
  }
  {
    DevsimProcess devsim(5200, {"--drop-after", "1"});
    WindowThread window;
    TestConnection connection(nvsRemoteSocketApi(), window);
    ASSERT_TRUE(connection.connect("127.0.0.1", devsim.port()));
    ASSERT_NE(NSMGAPI_SendInitPacketData(connection.handle()), 0);
    EXPECT_TRUE(awaitPacket(window, WM_TRANSPORT_NOTIFY2, kPacketReady));
    EXPECT_TRUE(window.waitForCount(WM_TRANSPORT_CLOSE, 1));
    EXPECT_EQ(NSMGAPI_SendInitPacketData(connection.handle()), 0) << "nothing is sent after the loss";
  }
}

}  // namespace

// The simulator takes a user name that fits its field with the terminator
// (127 characters) and refuses to start with one that does not (128).
TEST(Login, SimulatorUserNameFitsItsField) {
  DevsimProcess fits(5200, {"--user", std::string(kUserNameField - 1, 'u')});
  EXPECT_NE(fits.port(), 0);
  DevsimProcess tooLong(5200, {"--user", std::string(kUserNameField, 'u')});
  EXPECT_EQ(tooLong.port(), 0);
}
