// Window timers: period, replacement, KillTimer, one pending tick at most,
// and the end of timers with their window.
#include <gtest/gtest.h>

#include <thread>

#include "test_window.h"

namespace {

// Runs the thread's message loop for `ms` milliseconds.
void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    PumpMessages();
  }
}

struct TimerCounter {
  int ticks = 0;
  UINT_PTR lastId = 0;
  TestHandler handler = [this](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (message == WM_TIMER) {
      ++ticks;
      lastId = wParam;
    }
    return 0;
  };
};

TEST(Timer, FiresAtAboutItsPeriodAndStopsAfterKill) {
  TimerCounter counter;
  HWND window = CreateTestWindow(&counter.handler);
  ASSERT_EQ(SetTimer(window, 1032, 50, nullptr), 1032u);
  PumpFor(500);
  // About ten ticks; the margins allow a loaded machine.
  EXPECT_GE(counter.ticks, 4);
  EXPECT_LE(counter.ticks, 11);
  EXPECT_EQ(counter.lastId, 1032u);

  EXPECT_TRUE(KillTimer(window, 1032));
  int before = counter.ticks;
  PumpFor(150);
  EXPECT_EQ(counter.ticks, before);
  EXPECT_FALSE(KillTimer(window, 1032));
  DestroyWindow(window);
}

TEST(Timer, ResettingAnIdReplacesThePeriod) {
  TimerCounter counter;
  HWND window = CreateTestWindow(&counter.handler);
  SetTimer(window, 7, 5000, nullptr);
  SetTimer(window, 7, 20, nullptr);
  PumpFor(300);
  EXPECT_GE(counter.ticks, 3) << "the short period replaced the long one";

  SetTimer(window, 7, 5000, nullptr);
  int before = counter.ticks;
  PumpFor(150);
  EXPECT_EQ(counter.ticks, before) << "and a long one replaces the short one again";
  DestroyWindow(window);
}

TEST(Timer, AtMostOnePendingTickAndKillRemovesIt) {
  TimerCounter counter;
  HWND window = CreateTestWindow(&counter.handler);
  SetTimer(window, 1, 10, nullptr);
  Sleep(120);  // many periods pass while nobody looks
  EXPECT_EQ(PumpMessages(), 1);

  Sleep(30);
  KillTimer(window, 1);
  EXPECT_EQ(PumpMessages(), 0) << "the pending tick went with the timer";
  DestroyWindow(window);
}

TEST(Timer, TimersEndWithTheirWindowAndNeedAWindow) {
  TimerCounter counter;
  HWND window = CreateTestWindow(&counter.handler);
  SetTimer(window, 3, 10, nullptr);
  EXPECT_NE(SetTimer(window, 0, 10, nullptr), 0u) << "id 0 is a timer too";
  DestroyWindow(window);
  Sleep(30);
  EXPECT_EQ(PumpMessages(), 0);
  EXPECT_FALSE(KillTimer(window, 3));
  EXPECT_EQ(SetTimer(window, 3, 10, nullptr), 0u);
  EXPECT_EQ(SetTimer(nullptr, 3, 10, nullptr), 0u);
}

TEST(Timer, GetMessageWakesForATimer) {
  TimerCounter counter;
  HWND window = CreateTestWindow(&counter.handler);
  SetTimer(window, 9, 30, nullptr);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, 9u);

  // While it waits for a far timer, another thread's post gets through and
  // is taken first.
  SetTimer(window, 9, 2000, nullptr);
  std::thread poster([window] {
    Sleep(50);
    PostMessageA(window, WM_USER, 0, 0);
  });
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  poster.join();
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  DestroyWindow(window);
}

UINT_PTR timerProcId = 0;
void CALLBACK CountingTimerProc(HWND, UINT, UINT_PTR id, DWORD) { timerProcId = id; }

TEST(Timer, DispatchCallsTheTimerProcedureInsteadOfTheWindow) {
  TimerCounter counter;
  HWND window = CreateTestWindow(&counter.handler);
  SetTimer(window, 5, 5000, nullptr);  // another timer of the window, without a procedure
  SetTimer(window, 4, 10, CountingTimerProc);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  DispatchMessageA(&msg);
  EXPECT_EQ(timerProcId, 4u);
  EXPECT_EQ(counter.ticks, 0);
  DestroyWindow(window);
}

}  // namespace
