// Window classes, window life, posted messages and message retrieval.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "test_window.h"

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(WindowClass, SecondRegistrationFailsWithClassAlreadyExists) {
  static int run = 0;  // classes live as long as the process: a fresh name per run
  std::string name = "ClassRegisteredTwice" + std::to_string(++run);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PlainProc;
  windowClass.lpszClassName = name.c_str();
  ATOM atom = RegisterClassA(&windowClass);
  ASSERT_NE(atom, 0);
  std::string upper = "CLASSREGISTEREDTWICE" + std::to_string(run);  // names compare without case
  windowClass.lpszClassName = upper.c_str();
  SetLastError(0);
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  EXPECT_EQ(GetLastError(), 1410u);

  HWND byAtom = CreateWindowExA(0, MAKEINTRESOURCEA(atom), "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  EXPECT_TRUE(IsWindow(byAtom));
  DestroyWindow(byAtom);
}

TEST(Window, CreateDeliversCreateParamsAndUnknownClassFails) {
  std::vector<UINT> seen;
  const CREATESTRUCTA* create = nullptr;
  int createdWidth = 0;
  TestHandler handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_CREATE) {
      create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      createdWidth = create->cx;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = CreateTestWindow(&handler);
  ASSERT_NE(window, nullptr);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(createdWidth, 100);
  EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&handler));
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());

  SetLastError(0);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  DestroyWindow(window);
}

TEST(Window, CreateFailsWhenProcedureRefusesCreate) {
  bool destroyed = false;
  TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_DESTROY) destroyed = true;
    return message == WM_CREATE ? -1 : 0;
  };
  EXPECT_EQ(CreateTestWindow(&handler), nullptr);
  EXPECT_TRUE(destroyed);
}

TEST(Window, DestroySendsDestroyThenNcDestroyAndHandlesAreNotReused) {
  std::vector<UINT> seen;
  TestHandler handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = CreateTestWindow(&handler);
  ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 0, 0));
  seen.clear();
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ(seen, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(PumpMessages(), 0) << "the queued message died with its window";

  SetLastError(0);
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(DestroyWindow(window));

  TestHandler quiet;
  HWND next = CreateTestWindow(&quiet);
  EXPECT_NE(next, window);
  EXPECT_FALSE(IsWindow(window));
  DestroyWindow(next);
}

TEST(Window, CloseThroughDefaultProcedureDestroys) {
  TestHandler handler;
  HWND window = CreateTestWindow(&handler);
  PostMessageA(window, WM_CLOSE, 0, 0);
  PumpMessages();
  EXPECT_FALSE(IsWindow(window));
}

TEST(Window, OnlyTheOwnerThreadDestroysOrDispatches) {
  int calls = 0;
  TestHandler handler = [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message == WM_USER) ++calls;
    return 0;
  };
  HWND window = CreateTestWindow(&handler);
  std::thread other([&] {
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    MSG foreign{window, WM_USER, 0, 0, 0, {0, 0}};
    DispatchMessageA(&foreign);
  });
  other.join();
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(DestroyWindow(window));
}

TEST(Messages, CrossThreadPostsArriveInOrderOnTheOwnerThread) {
  constexpr WPARAM kCount = 2000;
  std::vector<WPARAM> received;
  DWORD dispatchThread = 0;
  TestHandler handler = [&](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message == WM_USER) {
      received.push_back(wParam);
      dispatchThread = GetCurrentThreadId();
    }
    return 0;
  };
  HWND window = CreateTestWindow(&handler);
  std::thread poster([&] {
    for (WPARAM i = 0; i < kCount; ++i) ASSERT_TRUE(PostMessageA(window, WM_USER, i, 0));
    PostMessageA(window, WM_USER + 1, 0, 0);
  });
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    DispatchMessageA(&msg);
    if (msg.message == WM_USER + 1) break;
  }
  poster.join();
  ASSERT_EQ(received.size(), kCount);
  for (WPARAM i = 0; i < kCount; ++i) ASSERT_EQ(received[i], i);
  EXPECT_EQ(dispatchThread, GetCurrentThreadId());
  DestroyWindow(window);
}

TEST(Messages, GetMessageReturnsZeroOnQuitAfterEarlierPosts) {
  TestHandler handler;
  HWND window = CreateTestWindow(&handler);
  PostMessageA(window, WM_USER, 7, 0);
  PostQuitMessage(42);
  PostMessageA(window, WM_USER, 8, 0);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.wParam, 7u);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.wParam, 8u) << "WM_QUIT comes after every posted message";
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 42u);
  EXPECT_EQ(GetMessageA(nullptr, nullptr, 0, 0), -1);
  DestroyWindow(window);
  EXPECT_EQ(GetMessageA(&msg, window, 0, 0), -1) << "a destroyed window as filter is an error";
}

TEST(Messages, PeekFiltersByWindowAndRangeAndCanLeaveMessages) {
  TestHandler handlerA, handlerB;
  HWND a = CreateTestWindow(&handlerA);
  HWND b = CreateTestWindow(&handlerB);
  PostMessageA(a, WM_USER + 1, 1, 0);
  PostMessageA(b, WM_USER + 2, 2, 0);
  PostMessageA(nullptr, WM_USER + 3, 3, 0);  // thread message

  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 3u) << "a filter of -1 takes thread messages only";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 3, WM_USER + 3, PM_NOREMOVE));  // the last belongs too
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, b, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, a);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST(Messages, DispatchReturnsTheProcedureResult) {
  TestHandler handler = [](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    return message == WM_USER ? static_cast<LRESULT>(wParam * 2) : 0;
  };
  HWND window = CreateTestWindow(&handler);
  PostMessageA(window, WM_USER, 21, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(TranslateMessage(&msg));
  EXPECT_EQ(DispatchMessageA(&msg), 42);
  EXPECT_EQ(DispatchMessageA(nullptr), 0);
  // A thread message has no procedure: nothing to return.
  PostMessageA(nullptr, WM_USER, 21, 0);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(DispatchMessageA(&msg), 0);
  DestroyWindow(window);
}

}  // namespace
