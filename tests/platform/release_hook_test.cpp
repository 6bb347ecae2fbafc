// PlatformPostMessageWithRelease: the record behind a message is released
// exactly once on every path, and never while a procedure still uses it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_window.h"

namespace {

// A heap record like the transports post; LeakSanitizer reports any that is
// never released.
struct Record {
  std::atomic<int>* releases;
  bool released = false;
};

void ReleaseRecord(void* context) {
  auto* record = static_cast<Record*>(context);
  ++*record->releases;
  delete record;
}

bool PostRecord(HWND window, std::atomic<int>& releases) {
  auto* record = new Record{&releases};
  if (PlatformPostMessageWithRelease(window, WM_USER, 0, reinterpret_cast<LPARAM>(record), ReleaseRecord, record)) {
    return true;
  }
  delete record;
  return false;
}

TEST(ReleaseHook, CalledRightAfterDispatchReturns) {
  std::atomic<int> releases{0};
  int releasesSeenInside = -1;
  TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_USER) {
      PumpMessages();  // a nested loop must not release the record in use
      releasesSeenInside = releases;
    }
    return 0;
  };
  HWND window = CreateTestWindow(&handler);
  ASSERT_TRUE(PostRecord(window, releases));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(releases, 0) << "peeking without removal keeps the message queued";
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(releases, 0);
  DispatchMessageA(&msg);
  EXPECT_EQ(releasesSeenInside, 0);
  EXPECT_EQ(releases, 1);
  DispatchMessageA(&msg);  // dispatching a copy again releases nothing more
  PumpMessages();
  EXPECT_EQ(releases, 1);
  DestroyWindow(window);
}

TEST(ReleaseHook, RetrievedButNotDispatchedIsReleasedAtTheNextRetrieval) {
  std::atomic<int> releases{0};
  TestHandler handler;
  HWND window = CreateTestWindow(&handler);
  ASSERT_TRUE(PostRecord(window, releases));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(releases, 0);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(releases, 1);
  DestroyWindow(window);
}

TEST(ReleaseHook, DiscardedMessagesAreReleasedByDestroyWindow) {
  std::atomic<int> releases{0};
  int dispatched = 0;
  TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_USER) ++dispatched;
    return 0;
  };
  HWND window = CreateTestWindow(&handler);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostRecord(window, releases));
  DestroyWindow(window);
  EXPECT_EQ(releases, 3);
  PumpMessages();
  EXPECT_EQ(dispatched, 0);
  EXPECT_EQ(releases, 3);
}

TEST(ReleaseHook, NotCalledWhenThePostFails) {
  std::atomic<int> releases{0};
  TestHandler handler;
  HWND window = CreateTestWindow(&handler);
  DestroyWindow(window);
  EXPECT_FALSE(PostRecord(window, releases));
  EXPECT_EQ(releases, 0);
}

TEST(ReleaseHook, AFullQueueRefusesPostsAndTheCallerKeepsTheRecord) {
  std::atomic<int> releases{0};
  TestHandler handler;
  HWND window = CreateTestWindow(&handler);
  int accepted = 0;
  while (accepted < 20000 && PostMessageA(window, WM_USER, 0, 0)) ++accepted;
  EXPECT_EQ(accepted, 10000) << "the queue is bounded as on Windows";
  SetLastError(0);
  EXPECT_FALSE(PostRecord(window, releases));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
  EXPECT_EQ(releases, 0);
  DestroyWindow(window);
}

TEST(ReleaseHook, ThreadExitReleasesQueuedAndUndispatchedMessages) {
  std::atomic<int> releases{0};
  std::thread owner([&] {
    TestHandler handler;
    HWND window = CreateTestWindow(&handler);
    ASSERT_TRUE(PostRecord(window, releases));
    ASSERT_TRUE(PostRecord(window, releases));
    ASSERT_TRUE(PostRecord(nullptr, releases));  // a thread message
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));  // retrieved, never dispatched
  });
  owner.join();
  EXPECT_EQ(releases, 3);
}

TEST(ReleaseHook, CrossThreadFloodIsReleasedExactlyOnce) {
  std::atomic<int> releases{0};
  std::atomic<int> posted{0};
  int dispatched = 0;
  TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_USER) ++dispatched;
    return 0;
  };
  HWND window = CreateTestWindow(&handler);
  std::thread poster([&] {
    for (int i = 0; i < 500; ++i) posted += PostRecord(window, releases);
  });
  for (int i = 0; i < 100; ++i) {
    PumpMessages();
    if (i % 10 == 0) Sleep(1);
  }
  poster.join();
  DestroyWindow(window);
  EXPECT_EQ(posted, 500);
  EXPECT_EQ(releases, 500);
  EXPECT_LE(dispatched, 500);
}

}  // namespace
