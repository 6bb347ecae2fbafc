// SendMessageA within a thread and across threads: where the procedure
// runs, when the sender resumes, and what releases a blocked sender.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "test_window.h"

namespace {

TEST(SendMessage, SameThreadCallsTheProcedureDirectly) {
  TestHandler handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    return message == WM_USER ? static_cast<LRESULT>(wParam + 1) : 0;
  };
  HWND window = CreateTestWindow(&handler);
  EXPECT_EQ(SendMessageA(window, WM_USER, 9, 0), 10);
  DestroyWindow(window);
  EXPECT_EQ(SendMessageA(window, WM_USER, 9, 0), 0);
}

TEST(SendMessage, CrossThreadRunsInsideTheOwnersWaitAndReturnsTheResult) {
  std::atomic<DWORD> procThread{0};
  std::atomic<bool> handled{false};
  TestHandler handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message != WM_USER) return 0;
    procThread = GetCurrentThreadId();
    handled = true;
    return static_cast<LRESULT>(wParam * 3);
  };
  HWND window = CreateTestWindow(&handler);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  auto sender = std::async(std::launch::async, [&] { return SendMessageA(window, WM_USER, 5, 0); });

  DWORD result = MsgWaitForMultipleObjects(1, &event, FALSE, 5000, QS_ALLINPUT);
  EXPECT_EQ(result, 1u) << "a processed sent message counts as input";
  EXPECT_TRUE(handled) << "the procedure ran before the wait returned";
  EXPECT_EQ(procThread.load(), GetCurrentThreadId());
  EXPECT_EQ(sender.get(), 15);

  // Inside GetMessageA too, which returns for the message posted after it.
  handled = false;
  auto second = std::async(std::launch::async, [&] {
    const LRESULT sent = SendMessageA(window, WM_USER, 7, 0);
    PostMessageA(window, WM_USER + 1, 0, 0);
    return sent;
  });
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_TRUE(handled);
  EXPECT_EQ(second.get(), 21);
  CloseHandle(event);
  DestroyWindow(window);
}

TEST(SendMessage, SentMessagesAreProcessedBeforePostedOnes) {
  std::vector<std::string> order;
  TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_USER) order.push_back("posted");
    if (message == WM_USER + 1) order.push_back("sent");
    return 0;
  };
  HWND window = CreateTestWindow(&handler);
  PostMessageA(window, WM_USER, 0, 0);
  std::atomic<bool> sending{false};
  std::thread sender([&] {
    sending = true;
    SendMessageA(window, WM_USER + 1, 0, 0);
  });
  while (!sending) std::this_thread::yield();
  Sleep(100);  // let the sent message join the queue behind the posted one
  PumpMessages();
  sender.join();
  EXPECT_EQ(order, (std::vector<std::string>{"sent", "posted"}));
  DestroyWindow(window);
}

TEST(SendMessage, DestroyWindowReleasesABlockedSenderWithZero) {
  TestHandler handler = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT { return message == WM_USER ? 77 : 0; };
  HWND window = CreateTestWindow(&handler);
  std::atomic<bool> sending{false};
  auto sender = std::async(std::launch::async, [&] {
    sending = true;
    return SendMessageA(window, WM_USER, 0, 0);
  });
  while (!sending) std::this_thread::yield();
  Sleep(50);  // let the sender block; the owner processes nothing meanwhile
  DestroyWindow(window);
  ASSERT_EQ(sender.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(sender.get(), 0);
}

TEST(SendMessage, ThreadExitReleasesABlockedSender) {
  std::promise<HWND> created;
  std::promise<void> mayExit;
  std::thread owner([&] {
    static TestHandler handler = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; };
    created.set_value(CreateTestWindow(&handler));
    mayExit.get_future().wait();
  });
  HWND window = created.get_future().get();
  auto sender = std::async(std::launch::async, [&] { return SendMessageA(window, WM_USER, 0, 0); });
  Sleep(50);
  mayExit.set_value();
  owner.join();
  ASSERT_EQ(sender.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(sender.get(), 0);
  EXPECT_FALSE(IsWindow(window)) << "a thread's windows end with it";
}

TEST(SendMessage, ThreadsSendingToEachOtherDoNotDeadlock) {
  std::promise<HWND> otherWindow;
  std::promise<void> done;
  TestHandler mainHandler = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT { return message == WM_USER ? 1 : 0; };
  HWND mainWindow = CreateTestWindow(&mainHandler);
  std::thread other([&] {
    // This window's procedure sends back to the main thread's window, which
    // is blocked in its own SendMessageA to this window.
    TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
      return message == WM_USER ? SendMessageA(mainWindow, WM_USER, 0, 0) + 10 : 0;
    };
    HWND window = CreateTestWindow(&handler);
    otherWindow.set_value(window);
    auto finished = done.get_future();
    while (finished.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    DestroyWindow(window);
  });
  HWND window = otherWindow.get_future().get();
  EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 11);
  done.set_value();
  other.join();
  DestroyWindow(mainWindow);
}

}  // namespace
