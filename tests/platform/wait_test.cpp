// Events, WaitForSingleObject and MsgWaitForMultipleObjects results.
#include <gtest/gtest.h>

#include <vector>

#include <atomic>
#include <thread>

#include "test_window.h"

namespace {

TEST(Events, AutoResetSignalIsConsumedByOneWait) {
  HANDLE event = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 20), WAIT_TIMEOUT);
  SetEvent(event);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), 0u);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(event));
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "names are ignored");
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ResetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST(Events, OneSetReleasesOneOfTwoAutoResetWaiters) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> woken{0};
  auto waiter = [&] {
    if (WaitForSingleObject(event, 400) == WAIT_OBJECT_0) ++woken;
  };
  std::thread first(waiter), second(waiter);
  Sleep(50);
  SetEvent(event);
  first.join();
  second.join();
  EXPECT_EQ(woken, 1);
  CloseHandle(event);
}

TEST(Events, BadHandlesAreRefused) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_TRUE(CloseHandle(event));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(event));
  SetLastError(0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST(MsgWait, EventSignalledDuringTheWaitReturnsZero) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  std::thread setter([&] {
    Sleep(30);
    SetEvent(event);
  });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_ALLINPUT), 0u);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the auto-reset signal was consumed";
  CloseHandle(event);
}

TEST(MsgWait, QueuedInputReturnsCountAndNothingTimesOut) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  TestHandler handler;
  HWND window = CreateTestWindow(&handler);

  DWORD start = GetTickCount();
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 100, QS_ALLINPUT), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount() - start, 95u);

  PostMessageA(window, WM_USER, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 1000, QS_ALLINPUT), 1u);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 20, QS_TIMER), WAIT_TIMEOUT)
      << "a posted message is not a timer";
  SetEvent(event);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 1000, QS_ALLINPUT), 0u) << "the event comes first";
  PumpMessages();

  SetTimer(window, 1, 30, nullptr);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_ALLINPUT), 1u);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  DestroyWindow(window);

  std::thread poster([&] {
    Sleep(30);
    PostMessageA(nullptr, WM_USER, 0, 0);  // a thread message to the poster's own queue
  });
  poster.join();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), WAIT_TIMEOUT)
      << "another thread's queue is not ours";
  CloseHandle(event);
}

// Up to 64 objects, the last of them counting like the first.
TEST(MsgWait, SixtyFourObjectsAtMost) {
  std::vector<HANDLE> events(65);
  for (HANDLE& event : events) event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetEvent(events[63]);
  EXPECT_EQ(MsgWaitForMultipleObjects(63, events.data(), FALSE, 0, 0), WAIT_TIMEOUT);
  EXPECT_EQ(MsgWaitForMultipleObjects(64, events.data(), FALSE, 0, 0), 63u);
  EXPECT_EQ(MsgWaitForMultipleObjects(65, events.data(), FALSE, 0, 0), WAIT_FAILED);
  for (HANDLE event : events) CloseHandle(event);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  std::atomic<bool> entered{false};
  std::thread other([&] {
    EnterCriticalSection(&section);
    entered = true;
    LeaveCriticalSection(&section);
  });
  Sleep(30);
  EXPECT_FALSE(entered);
  LeaveCriticalSection(&section);
  Sleep(10);
  EXPECT_FALSE(entered) << "still held once";
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(entered);
  DeleteCriticalSection(&section);
}

}  // namespace
