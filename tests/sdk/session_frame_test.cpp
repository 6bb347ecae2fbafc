// The session frame: the hidden window, the window procedure's routing of
// transport messages, the wait loop and the information record copy.
// Connection outcomes come from the real transport talking to the simulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cstring>
#include <thread>
#include <vector>

#include "device_session.h"
#include "tests/common/connect_record.h"
#include "tests/common/devsim_process.h"

namespace {

using vkt::test::DevsimProcess;

// The smallest concrete session: records what the window procedure calls.
class RecordingSession : public DeviceSession {
 public:
  RecordingSession() : DeviceSession(VKT_KIND_JPEG) {}
  VktResult Notify(PacketHeader* header, void*) override {
    notifiedTypes.push_back(header ? header->type : 0xFFFF);
    return VKT_OK;
  }
  VktResult Connect(const char*, int32_t, const char*, const char*) override { return VKT_OK; }
  VktResult OnData(void*, uint32_t length) override {
    dataLengths.push_back(length);
    return VKT_OK;
  }
  VktResult RequestVideo() override {
    ++videoRequests;
    return VKT_OK;
  }
  VktResult OpenChannel(uint32_t, HWND) override { return VKT_OK; }
  VktResult CloseChannel(uint32_t) override { return VKT_OK; }
  VktResult OnMessage(uint32_t message, WPARAM wParam, LPARAM) override {
    messages.push_back(message);
    if (message == WM_TRANSPORT_CONNECT) connectParams.push_back(wParam);
    return VKT_OK;
  }
  ~RecordingSession() override {
    if (transport) {
      if (connected) disconnectRemoteSocket(transport);
      destroyRemoteSocket(transport);
    }
  }

  std::vector<uint16_t> notifiedTypes;
  std::vector<uint32_t> dataLengths;
  std::vector<uint32_t> messages;
  std::vector<WPARAM> connectParams;
  int videoRequests = 0;
};

std::unique_ptr<RecordingSession> NewSession() {
  auto session = std::make_unique<RecordingSession>();
  session->CreateMessageWindow();
  return session;
}

void ConnectTransport(RecordingSession& session, int port) {
  session.transport = createRemoteSocket(session.window, 1);
  ASSERT_NE(session.transport, nullptr);
  auto record = vkt::test::makeConnectRecord("127.0.0.1", port);
  ASSERT_NE(connectRemoteSocket(session.transport, record.data()), 0);
}

DWORD Elapsed(DWORD start) { return timeGetTime() - start; }

}  // namespace

TEST(SessionFrame, ConstructionSetsMagicRecordSizeAndWindow) {
  auto session = NewSession();
  uint32_t fieldAtByte4;
  std::memcpy(&fieldAtByte4, reinterpret_cast<uint8_t*>(session.get()) + sizeof(void*), 4);
  EXPECT_EQ(fieldAtByte4, SESSION_MAGIC);
  EXPECT_EQ(session->serverInfo.size, 112u);
  EXPECT_NE(session->event, nullptr);
  ASSERT_NE(session->window, nullptr);
  EXPECT_TRUE(IsWindow(session->window));
  EXPECT_FALSE(IsWindowVisible(session->window));

  // A second session finds the class registered and still gets a window.
  auto second = NewSession();
  EXPECT_NE(second->window, nullptr);
  EXPECT_NE(second->window, session->window);

  HWND window = session->window;
  session.reset();
  EXPECT_FALSE(IsWindow(window));
}

TEST(SessionFrame, TransportConnectSignalsAndSetsConnected) {
  DevsimProcess devsim(7100);
  ASSERT_NE(devsim.port(), 0);
  auto session = NewSession();
  ConnectTransport(*session, devsim.port());
  EXPECT_EQ(session->WaitForEvent(session->event, 5000), 0u);
  EXPECT_EQ(session->connected, 1);
  // Every transport message also reaches OnMessage.
  EXPECT_NE(std::find(session->messages.begin(), session->messages.end(), 1445u), session->messages.end());
}

TEST(SessionFrame, RefusedConnectionEndsTheWaitNotConnected) {
  auto session = NewSession();
  ConnectTransport(*session, vkt::test::closedLocalPort());
  // 1445 with wParam 0 changes nothing; the 1446 that follows ends the wait.
  // Had the 1445 signalled, the wait would have returned before the 1446.
  EXPECT_EQ(session->WaitForEvent(session->event, 5000), 0u);
  EXPECT_EQ(session->connected, 0);
  EXPECT_EQ(session->messages, (std::vector<uint32_t>{1445u, 1446u}));
  EXPECT_EQ(session->connectParams, std::vector<WPARAM>{0});
}

TEST(SessionFrame, ConnectMessageWithoutSuccessDoesNotSignal) {
  auto session = NewSession();
  PostMessageA(session->window, WM_TRANSPORT_CONNECT, 0, 0);
  EXPECT_EQ(session->WaitForEvent(session->event, 300), 258u);
  EXPECT_EQ(session->connected, 0);
  EXPECT_EQ(session->messages, std::vector<uint32_t>{1445u});
}

TEST(SessionFrame, LostConnectionDuringWaitEndsItNotConnected) {
  DevsimProcess devsim(7100);
  ASSERT_NE(devsim.port(), 0);
  auto session = NewSession();
  ConnectTransport(*session, devsim.port());
  ASSERT_EQ(session->WaitForEvent(session->event, 5000), 0u);
  ASSERT_EQ(session->connected, 1);

  std::thread killer([&] {
    Sleep(100);
    devsim.kill();
  });
  const DWORD start = timeGetTime();
  EXPECT_EQ(session->WaitForEvent(session->event, 10000), 0u);
  EXPECT_LT(Elapsed(start), 5000u);
  EXPECT_EQ(session->connected, 0);
  killer.join();
}

TEST(SessionFrame, OnlyMessagesAboveUserReachOnMessage) {
  auto session = NewSession();
  for (UINT message : {UINT(WM_USER - 1), UINT(WM_USER), UINT(WM_USER + 1), UINT(0x7FFF)})
    PostMessageA(session->window, message, 0, 0);
  PostMessageA(session->window, WM_TIMER, 7, 0);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_EQ(session->messages, (std::vector<uint32_t>{1025u, 0x7FFFu}));
  EXPECT_EQ(session->videoRequests, 1);
}

TEST(SessionFrame, NotificationsAndDataReachTheirOperations) {
  auto session = NewSession();
  PacketHeader header{};
  header.type = 83;
  uint8_t payload[8] = {};
  uint8_t bytes[5] = {1, 2, 3, 4, 5};
  DataBlock block{};
  block.data = bytes;
  block.length = sizeof bytes;
  SendMessageA(session->window, WM_TRANSPORT_NOTIFY, reinterpret_cast<WPARAM>(&header),
               reinterpret_cast<LPARAM>(payload));
  SendMessageA(session->window, WM_TRANSPORT_DATA, 0, reinterpret_cast<LPARAM>(&block));
  // The other transport's ids are left to the kinds, through OnMessage only.
  SendMessageA(session->window, WM_TRANSPORT_NOTIFY2, reinterpret_cast<WPARAM>(&header),
               reinterpret_cast<LPARAM>(payload));
  EXPECT_EQ(session->notifiedTypes, std::vector<uint16_t>{83});
  EXPECT_EQ(session->dataLengths, std::vector<uint32_t>{5});
  EXPECT_EQ(session->messages, (std::vector<uint32_t>{1425u, 1427u, 1645u}));
}

TEST(SessionFrame, WaitWithSteadyMessagesEndsAfterTimeoutPlusSlack) {
  auto session = NewSession();
  std::atomic<bool> stop{false};
  HWND window = session->window;
  std::thread poster([&] {
    while (!stop) {
      PostMessageA(window, WM_USER + 100, 0, 0);
      Sleep(50);
    }
  });
  const DWORD timeout = 1000;
  const DWORD start = timeGetTime();
  EXPECT_EQ(session->WaitForEvent(session->event, timeout), 258u);
  const DWORD elapsed = Elapsed(start);
  stop = true;
  poster.join();
  EXPECT_GT(elapsed, timeout + 200);
  EXPECT_LT(elapsed, timeout + 200 + 1500);
  EXPECT_FALSE(session->messages.empty());
}

TEST(SessionFrame, QuietWaitEndsAtTimeoutAndSignalIsConsumed) {
  auto session = NewSession();
  DWORD start = timeGetTime();
  EXPECT_EQ(session->WaitForEvent(session->event, 300), 258u);
  EXPECT_GE(Elapsed(start), 290u);

  // A signal raised by a handler that the wait dispatches ends it at once.
  PostMessageA(session->window, WM_TRANSPORT_CLOSE, 0, 0);
  start = timeGetTime();
  EXPECT_EQ(session->WaitForEvent(session->event, 5000), 0u);
  EXPECT_LT(Elapsed(start), 2000u);
  // The event resets itself: the next wait times out.
  EXPECT_EQ(session->WaitForEvent(session->event, 100), 258u);
}

TEST(SessionFrame, ServerInfoCopiesAsManyBytesAsTheCallerAsks) {
  RecordingSession session;
  std::memset(session.serverInfo.address, 'a', 63);
  session.serverInfo.address[63] = 0;
  session.serverInfo.port = 8000;
  session.serverInfo.channelCount = 4;
  session.serverInfo.dateTime2[7] = 0x5A5A;

  alignas(ServerInfo) uint8_t buffer[200];
  auto* info = reinterpret_cast<ServerInfo*>(buffer);
  auto fill = [&](uint32_t size) {
    std::memset(buffer, 0xEE, sizeof buffer);
    info->size = size;
  };

  fill(4);
  EXPECT_EQ(session.GetServerInfo(info), VKT_OK);
  EXPECT_EQ(buffer[4], 0xEE);

  fill(40);
  EXPECT_EQ(session.GetServerInfo(info), VKT_OK);
  EXPECT_EQ(info->size, 40u);
  EXPECT_EQ(buffer[4 + 35], 'a');
  EXPECT_EQ(buffer[40], 0xEE);

  fill(112);
  EXPECT_EQ(session.GetServerInfo(info), VKT_OK);
  EXPECT_EQ(info->port, 8000u);
  EXPECT_EQ(info->channelCount, 4);
  EXPECT_EQ(info->dateTime2[7], 0x5A5A);
  EXPECT_EQ(buffer[112], 0xEE);

  fill(113);
  EXPECT_EQ(session.GetServerInfo(info), VKT_ERR_PARAMETER);
  EXPECT_EQ(buffer[4], 0xEE);

  // Too small to hold its own size field: refused, nothing copied.
  for (uint32_t size : {0u, 3u}) {
    fill(size);
    EXPECT_EQ(session.GetServerInfo(info), VKT_ERR_PARAMETER);
    EXPECT_EQ(buffer[4], 0xEE);
  }
}

namespace {

// Exposes the handshake steps the kinds share.
class HandshakeSession : public RecordingSession {
 public:
  using DeviceSession::kChannelCountFromAnswer;
  using DeviceSession::MakeLoginRequest;
  using DeviceSession::OpenLoginWait;
  using DeviceSession::StoreConnectedAddress;
  using DeviceSession::TakeLoginAnswer;
};

// A login answer as a device sends it: code, device info 4..6, channel
// count 7, two dates at 8 and 16.
std::vector<uint8_t> LoginAnswer(int32_t code) {
  std::vector<uint8_t> answer(24, 0);
  std::memcpy(answer.data(), &code, 4);
  const uint8_t rest[] = {0x11, 0x22, 0x33, 9, 0xD9, 0x07, 12, 31, 23, 59, 58, 0,
                          0xE8, 0x07, 3, 5, 7, 8, 9};
  std::memcpy(answer.data() + 4, rest, sizeof rest);
  return answer;
}

PacketHeader HeaderFor(const std::vector<uint8_t>& payload) {
  PacketHeader header{};
  header.type = PKT_LOGIN;
  header.payloadLength = static_cast<uint32_t>(payload.size());
  return header;
}

}  // namespace

TEST(SessionHandshake, AcceptedAnswerFillsTheRecordAndSignals) {
  HandshakeSession session;
  auto answer = LoginAnswer(1);
  PacketHeader header = HeaderFor(answer);
  session.OpenLoginWait();
  session.TakeLoginAnswer(&header, answer.data(), HandshakeSession::kChannelCountFromAnswer);
  EXPECT_EQ(session.loggedIn, 1);
  EXPECT_EQ(WaitForSingleObject(session.event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(session.serverInfo.channelCount, 9);
  EXPECT_EQ(session.serverInfo.deviceInfo[0], 0x33);
  EXPECT_EQ(session.serverInfo.deviceInfo[1], 0x22);
  EXPECT_EQ(session.serverInfo.deviceInfo[2], 0x11);
  const uint16_t first[8] = {2009, 12, 0, 31, 23, 59, 58, 0};
  const uint16_t second[8] = {2024, 3, 0, 5, 7, 8, 9, 0};
  EXPECT_EQ(std::memcmp(session.serverInfo.dateTime1, first, sizeof first), 0);
  EXPECT_EQ(std::memcmp(session.serverInfo.dateTime2, second, sizeof second), 0);

  // A kind with a fixed channel count ignores the answer's byte 7.
  HandshakeSession single;
  single.OpenLoginWait();
  single.TakeLoginAnswer(&header, answer.data(), 1);
  EXPECT_EQ(single.serverInfo.channelCount, 1);
}

TEST(SessionHandshake, RefusedOrShortAnswersSayWhy) {
  struct Case {
    int32_t code;
    size_t length;
    VktResult error;
  };
  for (const Case& c : {Case{2, 24, VKT_ERR_LOGIN_DENIED}, Case{7, 24, VKT_ERR_LOGIN_FAILED},
                        Case{0, 24, VKT_ERR_LOGIN_FAILED}, Case{1, 22, VKT_ERR_LOGIN_FAILED}}) {
    HandshakeSession session;
    auto answer = LoginAnswer(c.code);
    answer.resize(c.length);
    PacketHeader header = HeaderFor(answer);
    session.OpenLoginWait();
    session.TakeLoginAnswer(&header, answer.data(), HandshakeSession::kChannelCountFromAnswer);
    EXPECT_EQ(session.loggedIn, 0) << c.code;
    EXPECT_EQ(session.lastError, c.error) << c.code;
    EXPECT_EQ(session.serverInfo.channelCount, 0) << c.code;
    EXPECT_EQ(WaitForSingleObject(session.event, 0), WAIT_OBJECT_0) << c.code;
  }
}

// Only the first answer inside a login wait counts: one that comes with no
// wait open (before the request, after a timeout) or after the answer that
// closed the wait changes nothing and signals nothing.
TEST(SessionHandshake, AnswersOutsideALoginWaitAreIgnored) {
  struct Case {
    const char* name;
    bool waitOpen;
    std::vector<int32_t> codes;
    int32_t loggedIn;
    VktResult lastError;
    int signals;
  };
  const Case cases[] = {
      {"no wait, acceptance", false, {1}, 0, 0, 0},
      {"no wait, refusal", false, {2}, 0, 0, 0},
      {"refusal, then acceptance", true, {2, 1}, 0, VKT_ERR_LOGIN_DENIED, 1},
      {"acceptance, then refusal", true, {1, 7}, 1, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HandshakeSession session;
    if (c.waitOpen) session.OpenLoginWait();
    for (int32_t code : c.codes) {
      auto answer = LoginAnswer(code);
      PacketHeader header = HeaderFor(answer);
      session.TakeLoginAnswer(&header, answer.data(), HandshakeSession::kChannelCountFromAnswer);
    }
    EXPECT_EQ(session.loggedIn, c.loggedIn);
    EXPECT_EQ(session.lastError, c.lastError);
    EXPECT_EQ(session.serverInfo.channelCount, c.loggedIn ? 9 : 0);
    int signals = 0;
    while (WaitForSingleObject(session.event, 0) == WAIT_OBJECT_0) ++signals;
    EXPECT_EQ(signals, c.signals);
  }
}

// The shortest answer accepted is exactly the minimum length; one byte
// less is a failed login. Each answer sits in a buffer of exactly its size.
TEST(SessionHandshake, AnswerLengthAtTheMinimum) {
  const size_t minimum = login_answer::kMinimumLength;
  for (const size_t length : {minimum - 1, minimum, minimum + 1}) {
    HandshakeSession session;
    session.OpenLoginWait();
    auto answer = LoginAnswer(1);
    answer.resize(length);
    answer.shrink_to_fit();
    PacketHeader header = HeaderFor(answer);
    session.TakeLoginAnswer(&header, answer.data(), HandshakeSession::kChannelCountFromAnswer);
    EXPECT_EQ(session.loggedIn, length >= minimum ? 1 : 0) << length;
    EXPECT_EQ(session.serverInfo.channelCount, length >= minimum ? 9 : 0) << length;
  }
}

TEST(SessionHandshake, AddressAndLoginFieldsAreCutToFit) {
  HandshakeSession session;
  const std::string longAddress(100, 'h');
  session.StoreConnectedAddress(longAddress.c_str(), 0x12345678);
  EXPECT_EQ(std::string(session.serverInfo.address), std::string(63, 'h'));
  EXPECT_EQ(session.serverInfo.port, 0x5678u);

  const std::string longName(300, 'u');
  LoginRequest request = HandshakeSession::MakeLoginRequest(longName.c_str(), "secret", 1);
  EXPECT_EQ(std::string(request.userName), std::string(127, 'u'));
  EXPECT_EQ(std::string(request.password), "secret");
  EXPECT_EQ(request.loginMode, 1);
  for (uint8_t byte : request.zero) EXPECT_EQ(byte, 0);
}

// Each row posts events with or without a callback set: only events posted
// while one is set are kept, and no more than the queue's limit.
TEST(SessionFrame, EventsQueueOnlyForACallbackAndUpToTheLimit) {
  const struct {
    bool callbackFirst;
    size_t posted, delivered;
  } rows[] = {
      {false, 3, 0},
      {true, SessionEvents::kMaxQueued, SessionEvents::kMaxQueued},
      {true, SessionEvents::kMaxQueued + 5, SessionEvents::kMaxQueued},
  };
  for (const auto& row : rows) {
    SessionEvents events(nullptr);
    size_t delivered = 0;
    struct Counter {
      static void VKT_CALL Count(void*, const VKT_Event*, void* user) { ++*static_cast<size_t*>(user); }
    };
    const VKT_EventCallback count = Counter::Count;
    if (row.callbackFirst) events.SetCallback(count, &delivered);
    for (size_t i = 0; i < row.posted; ++i) events.Post(nullptr, VKT_EVENT_FIRST_PICTURE, 0, 0, 0);
    events.SetCallback(count, &delivered);
    events.Deliver(false);
    EXPECT_EQ(delivered, row.delivered) << row.posted;
  }
}
